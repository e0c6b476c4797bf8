#pragma once
// pyserial's RFC 2217 server (rfc2217_server.py beside this file, run by Debian's python3
// with python3-serial) serving a device on a free loopback port. Unlike ser2net it agrees to
// the COM port option only after the client's WILL, and serves one connection at a time.

#include "NetworkServer.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

extern char** environ;

class PySerialServer : public NetworkServer {
public:
    explicit PySerialServer(std::string device) : device(std::move(device)) {}
    ~PySerialServer() override { Stop(); }
    PySerialServer(const PySerialServer&) = delete;
    PySerialServer& operator=(const PySerialServer&) = delete;

    bool Start(std::string& error) override
    {
        port = FreePort();
        // Debian's interpreter, the one python3-serial is installed for.
        const char* python = ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
        const std::string script = SERVO_SOURCE_DIR "/tests/common/rfc2217_server.py";
        const std::string portText = std::to_string(port);
        const char* argv[] = {python, script.c_str(), device.c_str(), portText.c_str(), nullptr};
        if (posix_spawnp(&pid, python, nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
            pid = -1;
            error = "cannot start python3";
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Listening(port)) {
            if (std::chrono::steady_clock::now() > deadline || ::waitpid(pid, nullptr, WNOHANG) == pid) {
                error = "pyserial's RFC 2217 server did not listen within 10 s (is python3-serial installed?)";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::string Rfc2217() const override { return "rfc2217://127.0.0.1:" + std::to_string(port); }

private:
    const std::string device;
    int port = 0;
};
