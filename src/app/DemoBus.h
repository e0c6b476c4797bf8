#pragma once
// Demo mode: a virtual bus in this process with three servos of three model families at
// 115200 baud, so the window can be tried without hardware. Where the system has
// pseudo-terminals the bus sits on one, a device like any adapter's; elsewhere (Windows) on
// an in-process line that the window's port opens by the bus's name.

#include "catalogue/CatalogueLocation.h"
#include "serial/ByteChannel.h"
#include "serial/Port.h"
#include "sim/VirtualBus.h"

#include <memory>
#include <string>

class DemoBus {
public:
    // The name the in-process bus goes by in the port list.
    static constexpr const char* kLineName = "demo://bus";

    // Builds the servos from "setup.log" in the working directory and starts the bus; false
    // with a message when that can't be done.
    bool Start(std::string& error);
    // What the port list shows first, and the window opens.
    std::string PortName() const { return bus ? bus->DevicePath() : std::string(); }
    // The port for the window's bus owner: it opens the in-process bus by its name, and any
    // other name as the program's port does (a serial device or a network port).
    std::unique_ptr<Port> MakePort() const;
    // The virtual bus itself, for faults a picture shows (none before Start).
    VirtualBus* Virtual() { return bus.get(); }

private:
    // The bus on this system's kind of line (a file per system).
    std::unique_ptr<VirtualBus> MakeBus();

    // The window's own catalogue file, wherever it was found: a window started from another
    // working folder (a shortcut, a console) still has its demo servos.
    ModelCatalogue catalogue{FindCatalogue().path};
    std::shared_ptr<ByteChannel> channel;  // the in-process line, where there is one
    std::unique_ptr<VirtualBus> bus;
};
