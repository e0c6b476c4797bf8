#include "protocol/ZNServo.h"

int ZNServo::SendByte(uint8_t value)
{
    std::lock_guard lock(heldMutex);
    if (held.empty())
        return comm.Write(&value, 1);
    held.push_back(value);
    const int n = static_cast<int>(held.size());
    const int sent = comm.Write(held.data(), n);
    held.clear();
    return sent == n ? 1 : 0;
}

int ZNServo::SendBytes(const uint8_t* buffer, int n)
{
    if (buffer == nullptr || n <= 0)
        return 0;
    std::lock_guard lock(heldMutex);
    held.insert(held.end(), buffer, buffer + n);
    return n;
}

int ZNServo::ReceiveBytes(uint8_t* buffer, int n)
{
    return buffer == nullptr ? 0 : comm.Read(buffer, n);
}

int ZNServo::FlushInput()
{
    {
        std::lock_guard lock(heldMutex);
        held.clear();
    }
    return comm.PurgeInput();
}
