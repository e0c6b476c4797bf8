#pragma once
// What the main window does with the page its tabs show: a page polls only while it is shown
// and no search has the bus.

class Page {
public:
    virtual ~Page() = default;

    virtual void StartPolling() {}
    virtual void StopPolling() {}
};
