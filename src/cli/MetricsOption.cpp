#include "cli/MetricsOption.h"

#include "metrics/MetricsAddress.h"

#include <CLI/CLI.hpp>

void MetricsOption::Add(CLI::App* sub)
{
    sub->add_option("--metrics", text,
                    "serve Prometheus metrics at http://ADDRESS:PORT/metrics (ADDRESS: the "
                    "loopback address unless given)")
        ->type_name("ADDRESS:PORT");
}

void MetricsOption::Check(Checker& check)
{
    server.reset();
    if (text.empty() || !check.error.empty())
        return;
    std::string address, error;
    int port = 0;
    if (!ParseMetricsAddress(text, address, port)) {
        check.Fail("--metrics must be ADDRESS:PORT or PORT (1..65535), not \"" + text + "\"");
        return;
    }
    auto s = std::make_shared<MetricsServer>();
    auto f = feed;
    if (!s->Start(address, port,
                  [f] {
                      std::function<std::string()> render;
                      {
                          std::lock_guard lock(f->mutex);
                          render = f->render;
                      }
                      return render ? render() : std::string();
                  },
                  error)) {
        check.Fail(error);
        return;
    }
    server = std::move(s);
}

void MetricsOption::Publish(std::function<std::string()> render)
{
    std::lock_guard lock(feed->mutex);
    feed->render = std::move(render);
}
