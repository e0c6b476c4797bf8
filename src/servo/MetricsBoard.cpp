#include "servo/MetricsBoard.h"

#include <algorithm>
#include <memory>

void MetricsBoard::SetPort(const std::string& name)
{
    std::lock_guard lock(mutex);
    port = name;
}

void MetricsBoard::SetServos(std::vector<MetricsServo> shown)
{
    std::lock_guard lock(mutex);
    servos = std::move(shown);
}

std::string MetricsBoard::Render(const LinkStats& link) const
{
    std::vector<MetricsServo> all;
    std::string name;
    {
        std::lock_guard lock(mutex);
        all = servos;
        name = port;
    }
    const auto snapshot = std::make_unique<LinkSnapshot>(link.Copy());
    for (MetricsServo& m : all)
        m.link = snapshot->ids[static_cast<size_t>(m.id) % snapshot->ids.size()];
    for (MetricsServo& other : MetricsServos(*snapshot))
        if (std::none_of(all.begin(), all.end(), [&](const MetricsServo& m) { return m.id == other.id; }))
            all.push_back(std::move(other));
    std::sort(all.begin(), all.end(), [](const MetricsServo& a, const MetricsServo& b) { return a.id < b.id; });
    return MetricsText(name, all, snapshot->bus);
}
