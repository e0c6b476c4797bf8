#pragma once
// servoctl: the core's serial port, protocol and catalogue from the command line.

#include <iosfwd>
#include <string>
#include <vector>

// Exit status: 0 done, 1 the bus failed, 2 bad usage or a bad argument.
enum ServoCtlStatus { kCtlDone = 0, kCtlBusFailed = 1, kCtlBadUsage = 2 };

// Runs one command line (args[0] is the program name).
int RunServoCtl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
