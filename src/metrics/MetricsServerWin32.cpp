#include "metrics/MetricsServer.h"

// The HTTP library is a compiled one that is not built for Windows here: no program for
// Windows serves metrics, and each says so rather than serve.
struct MetricsServer::Impl {};

MetricsServer::MetricsServer() = default;
MetricsServer::~MetricsServer() = default;

bool MetricsServer::Start(const std::string&, int, std::function<std::string()>, std::string& error)
{
    error = "this build for Windows serves no metrics (built without the HTTP library)";
    return false;
}

void MetricsServer::Stop() {}
