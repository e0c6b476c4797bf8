#pragma once
// servoctl run in-process against the virtual bus, with the test's copy of the catalogue.

#include "BusFixture.h"
#include "cli/ServoCtl.h"

#include <sstream>
#include <string>
#include <vector>

class CtlFixture : public BusFixture {
protected:
    void StartServing()
    {
        std::string error;
        ASSERT_TRUE(bus->Start(error)) << error;
    }
    // One command line after the port, time-out (-t's text) and catalogue options; what it
    // printed stays in `out` and `err`.
    int RunCtl(std::vector<std::string> args, const std::string& timeout = "50")
    {
        std::vector<std::string> full = {"servoctl", "-p", port.empty() ? bus->DevicePath() : port, "-t", timeout,
                                         "--catalogue", catalogueFile};
        full.insert(full.end(), args.begin(), args.end());
        out.str("");
        err.str("");
        return RunServoCtl(full, out, err);
    }
    std::vector<std::string> OutLines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(out.str());
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        return lines;
    }
    std::ostringstream out, err;
    std::string port;  // another name for the bus's port (a network port); empty: its device
};
