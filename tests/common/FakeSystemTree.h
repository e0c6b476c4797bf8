#pragma once
// A small sysfs and /dev tree in a temporary folder, laid out as the kernel and udev lay
// out theirs: tty class entries linking to device folders, drivers and subsystems as links,
// USB devices with their product text, device nodes and serial/by-id links.

#include "serial/PortInfo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

class FakeSystemTree {
public:
    FakeSystemTree()
    {
        root = std::filesystem::path(testing::TempDir()) /
               ("systree-" + std::to_string(::getpid()) + "-" + std::to_string(++count));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(Sys() / "class" / "tty");
        std::filesystem::create_directories(Dev() / "serial" / "by-id");
        roots.sys = Sys().string();
        roots.dev = Dev().string();
    }
    ~FakeSystemTree() { std::filesystem::remove_all(root); }
    FakeSystemTree(const FakeSystemTree&) = delete;
    FakeSystemTree& operator=(const FakeSystemTree&) = delete;

    std::filesystem::path Sys() const { return root / "sys"; }
    std::filesystem::path Dev() const { return root / "dev"; }

    // A folder under sys/devices, made with its parents.
    std::filesystem::path Device(const std::string& path) const
    {
        const auto folder = Sys() / "devices" / path;
        std::filesystem::create_directories(folder);
        return folder;
    }
    void Write(const std::filesystem::path& file, const std::string& text) const
    {
        std::ofstream(file) << text;
    }
    // driver and subsystem links of a device folder, as sys/bus/SUBSYSTEM/drivers/DRIVER.
    void Bind(const std::filesystem::path& device, const std::string& subsystem,
              const std::string& driver) const
    {
        const auto bus = Sys() / "bus" / subsystem;
        std::filesystem::create_directories(bus / "drivers" / driver);
        std::filesystem::create_directory_symlink(bus, device / "subsystem");
        std::filesystem::create_directory_symlink(bus / "drivers" / driver, device / "driver");
    }
    // A tty class entry; with a device folder it is a port, with a node it shows in /dev.
    void Tty(const std::string& name, const std::filesystem::path& device, int type = -1,
             bool node = true) const
    {
        const auto entry = Sys() / "class" / "tty" / name;
        std::filesystem::create_directories(entry);
        if (!device.empty())
            std::filesystem::create_directory_symlink(device, entry / "device");
        if (type >= 0)
            Write(entry / "type", std::to_string(type) + "\n");
        if (node)
            Write(Dev() / name, "");
    }
    // A by-id link, relative as udev makes them.
    void ById(const std::string& link, const std::string& node) const
    {
        std::filesystem::create_symlink("../../" + node, Dev() / "serial" / "by-id" / link);
    }
    // A USB serial adapter: device 1-2 with its product text, interface 1-2:1.0, and the
    // port folder with a latency timer (when latency >= 0).
    std::filesystem::path UsbAdapter(const std::string& tty, const std::string& product,
                                     int latency, const std::string& usbDevice = "1-2") const
    {
        const auto usb = Device("pci0000:00/0000:00:14.0/usb1/" + usbDevice);
        Write(usb / "idVendor", "1209\n");
        if (!product.empty())
            Write(usb / "product", product + "\n");
        const auto port = Device("pci0000:00/0000:00:14.0/usb1/" + usbDevice + "/" + usbDevice +
                                 ":1.0/" + tty);
        Bind(port, "usb-serial", "usb_adapter");
        if (latency >= 0)
            Write(port / "latency_timer", std::to_string(latency) + "\n");
        return port;
    }

    std::filesystem::path root;
    SystemRoots roots;

private:
    static inline int count = 0;
};
