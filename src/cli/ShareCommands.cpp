// servoctl serve: holds a port with no window and shares its bus with this user's other
// programs until Ctrl+C or SIGTERM.
#include "cli/CtlCommand.h"
#include "cli/MetricsOption.h"
#include "cli/ScopedSignal.h"

#include "bus/BusShare.h"
#include "servo/MetricsText.h"
#include "share/ShareEndpoint.h"

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

namespace {

std::atomic<bool> serveStop{false};

extern "C" void StopServing(int)
{
    serveStop = true;
}

std::string Sharing(int clients)
{
    return std::to_string(clients) + (clients == 1 ? " program shares the bus" : " programs share the bus");
}

int Serve(Session& s, MetricsOption& metrics)
{
    serveStop = false;
    const ScopedSignal onInt{SIGINT, StopServing};
    const ScopedSignal onTerm{SIGTERM, StopServing};
    auto share = std::make_unique<BusShare>(s.bus, s.portName, share::ProgramName(), [&s](const ShareEvent& e) {
        s.out << e.client.program << " (pid " << e.client.pid << ") "
              << (e.joined ? "attached" : "left") << "; " << Sharing(e.clients) << std::endl;
    });
    if (!share->Serving()) {
        s.err << "servoctl: cannot share " << s.portName << ": " << share->Problem() << "\n";
        return kCtlBusFailed;
    }
    // The clients' exchanges, as the link statistics counted them.
    metrics.Publish([&bus = s.bus, port = s.portName] {
        return MetricsText(port, MetricsServos(bus.Link().Copy()), bus.Link().Bus());
    });
    s.out << "serving " << s.portName << " at " << s.bus.Facts().Rate()
          << " baud; Ctrl+C ends" << std::endl;
    // The signal's flag and a vanished port are looked at a few times a second: the clients'
    // exchanges run on the bus and the share's threads meanwhile.
    while (!serveStop && !s.bus.Facts().Gone())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const bool gone = s.bus.Facts().Gone();
    metrics.Publish({});
    // The share ends inside a job: no client exchange runs then, so nothing waits for one.
    s.bus.Run(JobKind::Command, [&](BusAccess& access) {
        share.reset();
        access.Close();
    });
    if (gone) {
        s.err << "servoctl: " << s.portName << ": port gone\n";
        return kCtlBusFailed;
    }
    return kCtlDone;
}

}  // namespace

void AddShareCommands(CLI::App& app, std::vector<CtlCommand>& commands)
{
    CtlCommand serve;
    serve.sub = app.add_subcommand("serve", "hold the port and share its bus with this user's "
                                            "other programs (servoctl, the window, Python) "
                                            "until Ctrl+C or SIGTERM; one line as each comes "
                                            "and goes");
    auto metrics = std::make_shared<MetricsOption>();
    metrics->Add(serve.sub);
    serve.check = [metrics](Checker& check) { metrics->Check(check); };
    serve.identify = false;
    serve.holdsPort = true;
    serve.run = [metrics](Session& s) { return Serve(s, *metrics); };
    commands.push_back(std::move(serve));
}
