#pragma once
// --metrics ADDRESS:PORT on a servoctl command: checked (and bound) before anything is sent,
// then serving what the command publishes.

#include "cli/CtlCommand.h"
#include "metrics/MetricsServer.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace CLI {
class App;
}

class MetricsOption {
public:
    void Add(CLI::App* sub);
    // Binds the server when the option is given; a bad address or a port in use fails the check.
    void Check(Checker& check);
    // What GET /metrics answers from now on: `render` is called on the server's threads and
    // must make its text from copies.
    void Publish(std::function<std::string()> render);
    bool Given() const { return !text.empty(); }

private:
    std::string text;
    std::shared_ptr<MetricsServer> server;
    struct Feed {
        std::mutex mutex;
        std::function<std::string()> render;
    };
    std::shared_ptr<Feed> feed = std::make_shared<Feed>();
};
