#pragma once
// --metrics of servoctl and the window: an HTTP server that answers GET /metrics with the
// text `render` makes (from copies: it never waits for the bus) and anything else with 404 or
// 405. Its threads are the library's own; a slow or flooding client holds one of them, never
// the bus.

#include <functional>
#include <memory>
#include <string>

class MetricsServer {
public:
    MetricsServer();
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Binds `address`:`port` and serves from then on; false with a message when it can't
    // (a port in use, an address not of this machine, a build without metrics).
    bool Start(const std::string& address, int port, std::function<std::string()> render, std::string& error);
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};
