// servoctl health --metrics scraped by Debian's real Prometheus server: its query API answers
// with each servo's series.
#include "ChildProcess.h"
#include "CtlFixture.h"

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// A loopback port free at the moment.
int FreePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), size);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(s);
    return ntohs(a.sin_port);
}

class MetricsScrape : public CtlFixture {
protected:
    // Prometheus starts before the bus's thread: a child is forked from a program without
    // threads.
    void SetUp() override
    {
        if (!std::filesystem::exists("/usr/bin/prometheus"))
            GTEST_SKIP() << "no prometheus (scripts/setup installs it)";
        folder = testing::TempDir() + "/prometheus-" + std::to_string(::getpid());
        std::filesystem::create_directories(folder);
        metricsPort = FreePort();
        queryPort = FreePort();
        std::ofstream(folder + "/prometheus.yml")
            << "global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: servo\n"
               "    static_configs:\n      - targets: ['127.0.0.1:"
            << metricsPort << "']\n";
        prometheus = std::make_unique<ChildProcess>(std::vector<std::string>{
            "/usr/bin/prometheus", "--config.file=" + folder + "/prometheus.yml",
            "--storage.tsdb.path=" + folder + "/data", "--web.listen-address=127.0.0.1:" + std::to_string(queryPort)});
        CtlFixture::SetUp();
    }
    void TearDown() override
    {
        if (prometheus) {
            prometheus->Signal(SIGTERM);
            prometheus->Wait();
        }
        CtlFixture::TearDown();
        std::filesystem::remove_all(folder);
    }
    std::string Query(const std::string& expression)
    {
        httplib::Client client("127.0.0.1", queryPort);
        const auto r = client.Get("/api/v1/query", httplib::Params{{"query", expression}}, httplib::Headers{});
        return r && r->status == 200 ? r->body : std::string();
    }
    std::string folder;
    int metricsPort = 0, queryPort = 0;
    std::unique_ptr<ChildProcess> prometheus;
};

TEST_F(MetricsScrape, PrometheusQueriesEachServosSeries)
{
    AddServo(1, kKestrel);
    AddServo(3, kOsprey);
    StartServing();
    int status = -1;
    std::atomic<bool> running{true};
    std::thread health([&] {
        status = RunCtl({"health", "--ids", "1,3", "--duration", "20", "--interval", "50", "--metrics",
                         "127.0.0.1:" + std::to_string(metricsPort)});
        running = false;
    });
    // Each servo's answered exchanges, and its temperature, as the server scraped them.
    auto both = [&](const std::string& expression) {
        const std::string body = Query(expression);
        return body.find("\"id\":\"1\"") != std::string::npos && body.find("\"id\":\"3\"") != std::string::npos;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(18);
    bool answered = false, temperature = false, latency = false, busy = false;
    while (!(answered && temperature && latency && busy) && std::chrono::steady_clock::now() < deadline) {
        answered = answered || both("servo_exchanges_total{outcome=\"answered\"} > 0");
        temperature = temperature || both("servo_temperature_celsius");
        latency = latency || both("servo_latency_seconds_count > 0");
        busy = busy || Query("servo_bus_busy_ratio").find("servo_bus_busy_ratio") != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (running)
        ::kill(::getpid(), SIGINT);  // Ctrl-C ends health
    health.join();
    EXPECT_EQ(status, 0) << err.str();
    EXPECT_TRUE(answered);
    EXPECT_TRUE(temperature);
    EXPECT_TRUE(latency);
    EXPECT_TRUE(busy);
}

}  // namespace
