#pragma once
// A real ser2net serving a device on free loopback ports: one accepter with RFC 2217
// (telnet) and one raw TCP accepter at a fixed rate. Started with -n (in the foreground) so
// the test owns the process; ended with the test.

#include "NetworkServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

class Ser2Net : public NetworkServer {
public:
    // `rawRate`: the rate the raw accepter runs the device at.
    Ser2Net(std::string device, int rawRate = 115200) : device(std::move(device)), rawRate(rawRate) {}
    ~Ser2Net() override { Stop(); }
    Ser2Net(const Ser2Net&) = delete;
    Ser2Net& operator=(const Ser2Net&) = delete;

    // Also serves RFC 2217 inside TLS, with a self-signed certificate made for 127.0.0.1
    // (openssl); CaFile() is then the certificate a client must trust.
    void WithTls() { tls = true; }
    // Set up for a servo bus's short exchanges: each reply goes out as soon as it came from
    // the device (no wait for more characters) and in a segment of its own (no Nagle).
    void ForShortExchanges() { quick = true; }

    bool Start(std::string& error) override
    {
        rfcPort = FreePort();
        rawPort = FreePort();
        tlsPort = FreePort();
        const auto dir = std::filesystem::temp_directory_path() /
                         ("ser2net-" + std::to_string(::getpid()) + "-" + std::to_string(rfcPort));
        std::filesystem::create_directories(dir);
        config = (dir / "ser2net.yaml").string();
        pidFile = (dir / "ser2net.pid").string();
        const std::string tcp = quick ? "tcp(nodelay)," : "tcp,";
        const std::string options = quick ? "  options:\n    chardelay: false\n" : "";
        std::ofstream(config) << "connection: &rfc\n"
                              << "  accepter: telnet(rfc2217)," << tcp << "127.0.0.1," << rfcPort << "\n"
                              << "  connector: serialdev," << device << ",115200n81,local\n" << options
                              << "connection: &raw\n"
                              << "  accepter: " << tcp << "127.0.0.1," << rawPort << "\n"
                              << "  connector: serialdev," << device << "," << rawRate << "n81,local\n"
                              << options;
        if (tls) {
            key = (dir / "key.pem").string();
            cert = (dir / "cert.pem").string();
            const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
                                     " -addext subjectAltName=IP:127.0.0.1 -keyout " + key +
                                     " -out " + cert + " >/dev/null 2>&1";
            if (std::system(make.c_str()) != 0) {
                error = "openssl could not make a certificate";
                return false;
            }
            std::ofstream(config, std::ios::app)
                << "connection: &tls\n"
                << "  accepter: telnet(rfc2217),ssl(key=" << key << ",cert=" << cert << "),tcp,127.0.0.1,"
                << tlsPort << "\n"
                << "  connector: serialdev," << device << ",115200n81,local\n";
        }
        const char* argv[] = {"ser2net", "-n", "-d", "-c", config.c_str(), "-P", pidFile.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int r = posix_spawnp(&pid, "ser2net", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (r != 0) {
            pid = -1;
            error = "cannot start ser2net (is it installed?)";
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Listening(rfcPort) || !Listening(rawPort) || (tls && !Listening(tlsPort))) {
            if (std::chrono::steady_clock::now() > deadline) {
                error = "ser2net did not listen within 10 s";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::string Rfc2217() const override { return "rfc2217://127.0.0.1:" + std::to_string(rfcPort); }
    std::string Raw() const { return "tcp://127.0.0.1:" + std::to_string(rawPort); }
    std::string Tls() const { return "rfc2217s://127.0.0.1:" + std::to_string(tlsPort); }
    const std::string& CaFile() const { return cert; }

private:
    const std::string device;
    const int rawRate;
    int rfcPort = 0;
    int rawPort = 0;
    int tlsPort = 0;
    bool tls = false;
    bool quick = false;
    std::string config, pidFile, key, cert;
};
