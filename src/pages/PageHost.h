#pragma once
// What a page knows of the window that holds it: the bus, the dialogs, and the few states of
// the main window a page acts on. The main window implements it; no page includes the app.

#include "bus/ServoBus.h"
#include "widgets/Dialogs.h"

#include <vector>

class PageHost {
public:
    virtual ~PageHost() = default;

    virtual ServoBus& Bus() = 0;
    virtual MessageBoxes& Messages() = 0;
    virtual FileDialogs& Files() = 0;

    // A search is running (it has the bus until it ends).
    virtual bool Searching() const = 0;
    // While a firmware transfer has the bus, nothing else may start on it.
    virtual void SetTransferRunning(bool running) = 0;
    // The port followed the servo to baud-list entry `code` (already set on the port);
    // `running` is the rate the driver runs at, the code's own unless it refused that.
    virtual void ShowBaud(int code, int running) = 0;
    // The IDs the last search found, in the servo list's order.
    virtual std::vector<int> FoundIds() const { return {}; }
    // The IDs where the last search heard two servos answer at once.
    virtual std::vector<int> DoubledIds() const { return {}; }
};
