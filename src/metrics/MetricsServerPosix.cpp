#include "metrics/MetricsServer.h"

#include <httplib.h>

#include <sys/socket.h>

#include <thread>

struct MetricsServer::Impl {
    httplib::Server server;
    std::thread thread;
};

MetricsServer::MetricsServer() : impl(std::make_unique<Impl>()) {}

MetricsServer::~MetricsServer()
{
    Stop();
}

bool MetricsServer::Start(const std::string& address, int port, std::function<std::string()> render,
                          std::string& error)
{
    httplib::Server& s = impl->server;
    // A client that sends slowly or keeps its connection is let go soon.
    s.set_read_timeout(2, 0);
    s.set_write_timeout(2, 0);
    s.set_keep_alive_max_count(10);
    s.set_payload_max_length(4096);
    // The library's default also shares the port with any other socket of this user
    // (SO_REUSEPORT): a port in use must fail instead.
    s.set_socket_options([](int sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Only GET (and HEAD) of /metrics is served; the rest is turned away before any body is
    // read.
    s.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
        if (request.path != "/metrics") {
            response.status = 404;
            return httplib::Server::HandlerResponse::Handled;
        }
        if (request.method != "GET" && request.method != "HEAD") {
            response.status = 405;
            response.set_header("Allow", "GET");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    s.Get("/metrics", [render](const httplib::Request&, httplib::Response& response) {
        response.set_content(render(), "text/plain; version=0.0.4; charset=utf-8");
    });
    if (!s.bind_to_port(address, port)) {
        error = "cannot serve metrics on " + address + ":" + std::to_string(port) +
                " (the port is in use, or the address is not this machine's)";
        return false;
    }
    impl->thread = std::thread([this] { impl->server.listen_after_bind(); });
    return true;
}

void MetricsServer::Stop()
{
    if (!impl->thread.joinable())
        return;
    impl->server.stop();
    impl->thread.join();
}
