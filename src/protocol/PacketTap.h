#pragma once
// A listener for every packet that crosses the byte channel: what went out whole, what came
// back with the verdict on it, and the loader's raw bytes with their step. It is called on
// the thread that runs the exchange and must not wait for anyone.

#include "protocol/Reply.h"

#include <cstdint>

enum class PacketDirection : uint8_t { Out, In };

// What a reply came to: good, cut short (or nothing at all), late (another ID's answer to an
// earlier request), damaged (a failed check). Packets going out are Sent; bytes that came
// before any request are Stray (dropped, never read as a reply).
enum class Verdict : uint8_t { Sent, Good, Short, Late, Damaged, NoAnswer, PortGone, Stray };

// The loader's unframed steps during a firmware transfer; None for framed packets.
enum class LoaderStep : uint8_t { None, Unlock, Start, Block, Answer };

struct PacketView {
    PacketDirection direction = PacketDirection::Out;
    Verdict verdict = Verdict::Sent;
    Damage damage = Damage::None;
    LoaderStep loader = LoaderStep::None;
    LoaderStep answering = LoaderStep::None;  // the step a loader answer belongs to
    int block = 0;  // the block a loader step belongs to (from 1), 0 for none
    const uint8_t* bytes = nullptr;
    int size = 0;
};

class PacketTap {
public:
    virtual ~PacketTap() = default;
    virtual void Packet(const PacketView& packet) = 0;
};

// The verdict of a finished reply; `size` is how many of its bytes came.
Verdict VerdictOf(const Reply& reply, int size);
