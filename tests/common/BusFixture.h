#pragma once
// A virtual bus built from the shipped catalogue (a private copy), with an open port and
// protocol object on its device.

#include "CatalogueCopy.h"
#include "WireComm.h"
#include "protocol/ZNS.h"
#include "sim/VirtualBus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#ifndef SERVO_SOURCE_DIR
#error "SERVO_SOURCE_DIR must name the source tree"
#endif

class BusFixture : public testing::Test {
protected:
    void SetUp() override
    {
        catalogueFile = CatalogueCopy("bus");
        catalogue = std::make_unique<ModelCatalogue>(catalogueFile);
        bus = std::make_unique<VirtualBus>(*catalogue);
        comm.AttachBus(bus.get());
    }
    void TearDown() override
    {
        comm.Close();
        bus.reset();
        std::filesystem::remove(catalogueFile);
    }

    void AddServo(int id, const std::string& model, int baudCode = -1,
                  std::vector<std::pair<uint8_t, uint8_t>> overrides = {})
    {
        std::string error;
        ServoSpec spec;
        spec.id = static_cast<uint8_t>(id);
        spec.model = model;
        spec.baudCode = baudCode;
        spec.overrides = std::move(overrides);
        ASSERT_TRUE(bus->AddServo(spec, error)) << error;
    }
    void StartBus(int rate = 115200)
    {
        std::string error;
        ASSERT_TRUE(bus->Start(error)) << error;
        ASSERT_EQ(comm.Open(bus->DevicePath()), 1);
        comm.SetBaudRate(rate);
    }
    std::vector<std::string> Sent() const
    {
        std::vector<std::string> lines;
        for (const auto& l : bus->LogLines())
            if (l[0] == '>')
                lines.push_back(l.substr(2));
        return lines;
    }
    bool Logged(const std::string& line) const
    {
        const auto lines = bus->LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    ServoMemory MemoryOf(int id) const
    {
        ServoMemory m{};
        EXPECT_TRUE(bus->Memory(static_cast<uint8_t>(id), m)) << "no servo " << id;
        return m;
    }
    // Waits for the bus thread to hear and answer what was sent.
    void Settle() const { WaitFor([&] { return bus->Quiet(); }, "the bus to hear the line"); }
    // Waits for the servos' next step, which shows a change made through the bus object.
    void NextStep() const
    {
        const long long from = bus->Steps();
        WaitFor([&] { return bus->Steps() > from; }, "the servos' next step");
    }
    template <typename Done>
    static void WaitFor(Done done, const char* what)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "gave up waiting for " << what;
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    std::string catalogueFile;
    std::unique_ptr<ModelCatalogue> catalogue;
    std::unique_ptr<VirtualBus> bus;
    WireComm comm;
    ZNS servo{comm};
    ServoProfile profile;  // how the tests' commands are coded
};

inline const char* kKestrel = "Kestrel-12";
inline const char* kHeron = "苍鹭 HR25";
inline const char* kOsprey = "Osprey-40H";
