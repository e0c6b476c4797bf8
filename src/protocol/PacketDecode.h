#pragma once
// One line of text for a packet: for instructions the ID, the instruction's name, the address
// and the count or the data; for replies the ID, the error byte, the data and the verdict;
// for the loader's raw bytes their step. The inspector, its CSV and `servoctl --trace` show
// the same lines.

#include "protocol/PacketTap.h"

#include <cstdint>
#include <string>

const char* InstructionName(uint8_t instruction);
const char* VerdictName(Verdict verdict);
// "FF FF 01 04 02 38 0D B1"
std::string HexBytes(const uint8_t* bytes, int n);
std::string DecodePacket(const PacketView& packet);
// Whether a packet is to or from servo `id`: its header ID, or one of a sync write's groups.
// The loader's raw bytes carry no ID.
bool PacketConcerns(const PacketView& packet, int id);
