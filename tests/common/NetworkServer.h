#pragma once
// A real server of a device on the loopback, run by a test: ser2net, or pyserial's RFC 2217
// server. Both serve RFC 2217; the tests that hold for any such server run against each.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

class NetworkServer {
public:
    virtual ~NetworkServer() = default;
    virtual bool Start(std::string& error) = 0;
    // Ends the server (its connections reset or close with it).
    void Stop()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }
    virtual std::string Rfc2217() const = 0;

    // A loopback port nobody listens on (at the moment of asking).
    static int FreePort()
    {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
        ::close(s);
        return ntohs(a.sin_port);
    }

protected:
    pid_t pid = -1;  // the server's process, once started

    // Whether a socket listens on the loopback port, read from the kernel's table: a probe
    // connection would make the server open the device, and it might still hold it when the
    // test connects.
    static bool Listening(int port)
    {
        char local[32];
        std::snprintf(local, sizeof local, "0100007F:%04X", port);
        std::ifstream table("/proc/net/tcp");
        std::string line;
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string slot, address, remote, state;
            fields >> slot >> address >> remote >> state;
            if (address == local && state == "0A")
                return true;
        }
        return false;
    }
};
