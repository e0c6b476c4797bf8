#include "app/DemoBus.h"

#include "serial/CZNComm.h"
#include "share/PortByName.h"

bool DemoBus::Start(std::string& error)
{
    auto demo = MakeBus();
    const char* models[] = {"Kestrel-12", "苍鹭 HR25", "Osprey-40H"};
    for (int i = 0; i < 3; ++i) {
        ServoSpec spec;
        spec.id = static_cast<uint8_t>(i + 1);
        spec.model = models[i];
        spec.baudCode = 4;  // 115200, the window's default rate
        spec.overrides = {{40, 1}};  // torque on (the demo models' switch), so commands move them
        if (!demo->AddServo(spec, error))
            return false;
    }
    demo->KeepLogLines(false);
    // Paced both ways as a real line at 115200 baud, so what a newcomer sees (the
    // communication test's figures above all) is what a real line would show.
    demo->SetPacing(true);
    if (!demo->Start(error))
        return false;
    bus = std::move(demo);
    return true;
}

std::unique_ptr<Port> DemoBus::MakePort() const
{
    return std::make_unique<PortByName>(
        std::make_unique<CZNComm>(), channel ? std::make_unique<ChannelPort>(kLineName, channel) : nullptr);
}
