// The sync write whose groups each carry their own block: a motion's tick gives every servo
// its own target in one packet.
#include "protocol/ZNS.h"

Reply ZNS::SyncWriteEach(uint8_t address, uint8_t length, const uint8_t* groups, int count)
{
    const long long len = (static_cast<long long>(length) + 1) * count + 4;
    if (count < 0 || len > 255 || (count > 0 && groups == nullptr))
        return Reply::Failed(Outcome::WriteFailed);
    const size_t body = static_cast<size_t>(length + 1) * static_cast<size_t>(count);
    const uint8_t head[7] = {0xFF, 0xFF, kBroadcastId, static_cast<uint8_t>(len),
                             instr::kSyncWrite, address, length};
    unsigned sum = 0;
    for (int i = 2; i < 7; ++i)
        sum += head[i];
    for (size_t i = 0; i < body; ++i)
        sum += groups[i];
    port.NextReply(0);
    // Blocks go out with the checksum byte in one write, as every packet does.
    SendBytes(head, 7);
    if (body > 0)
        SendBytes(groups, static_cast<int>(body));
    return Sent(SendByte(static_cast<uint8_t>(~sum)));
}
