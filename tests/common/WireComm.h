#pragma once
// The real port, with writes that return once the virtual bus has taken the bytes in, as a
// wire would have carried them by then. A pseudo-terminal hands bytes to the far end
// through a kernel worker, which a busy machine may hold up for tens of milliseconds; the
// bus reads the line's rate when the bytes reach it, so a rate change the program makes
// right after a packet (the upgrade's switch to the loader's rate, 10 ms after its
// instruction) could otherwise overtake the packet.

#include "serial/CZNComm.h"
#include "sim/VirtualBus.h"

#include <chrono>
#include <thread>

class WireComm : public CZNComm {
public:
    // The bus whose device this port opens; nothing is awaited while none is set.
    void AttachBus(const VirtualBus* b) { bus = b; }

    int Write(const uint8_t* buffer, int n) override
    {
        const long long before = bus ? bus->BytesHeard() : 0;
        const int sent = CZNComm::Write(buffer, n);
        if (bus == nullptr || sent <= 0)
            return sent;
        // Bounded: a bus that has stopped or vanished hears nothing more.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        while (bus->BytesHeard() < before + sent && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        return sent;
    }

private:
    const VirtualBus* bus = nullptr;
};
