#pragma once
// A packet as the bus carries it, FF FF ID LEN INSTRUCTION (or the error byte of a reply)
// parameters CHK: the replies tests script and the requests they expect.

#include "protocol/ZNS.h"
#include "support/HexText.h"

#include <string>
#include <vector>

inline std::vector<uint8_t> Packet(uint8_t id, uint8_t instruction,
                                   const std::vector<uint8_t>& params = {})
{
    // Byte by byte: MinGW's GCC 12 takes a range insert here for an overrun (-Warray-bounds).
    std::vector<uint8_t> p{0xFF, 0xFF, id, static_cast<uint8_t>(params.size() + 2), instruction};
    p.reserve(p.size() + params.size() + 1);
    for (const uint8_t b : params)
        p.push_back(b);
    p.push_back(PacketChecksum(p.data() + 2, static_cast<int>(p.size()) - 2));
    return p;
}

// The same as the bus logs it: upper-case hex bytes, one blank between them.
inline std::string PacketHex(uint8_t id, uint8_t instruction, const std::vector<uint8_t>& params = {})
{
    const std::vector<uint8_t> p = Packet(id, instruction, params);
    return HexText(p.data(), p.size());
}
