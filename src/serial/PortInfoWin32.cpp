// Port descriptions on Windows, from Device Manager's ports class (SetupAPI): each COM port's
// device gives its friendly name, its maker and its hardware ID, and its registry parameters
// the port's name and, for adapters whose driver has one, the latency timer. The tool only
// reads them: the latency is the driver's setting, changed in the port's advanced settings.
#include "serial/DeviceLabel.h"
#include "serial/PortInfo.h"
#include "serial/PortList.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>

namespace {

// GUID_DEVCLASS_PORTS: serial and parallel ports.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
// A latency timer is a byte in milliseconds; anything else is not one.
constexpr DWORD kMaxLatencyMs = 255;

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    // Tabs and line breaks would break servoctl's tab-separated lines.
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return out;
}

// Registry text ends at its first NUL (a multi-string's first entry) or at its size.
std::wstring TextOf(const std::vector<BYTE>& data, DWORD size)
{
    const auto* text = reinterpret_cast<const wchar_t*>(data.data());
    const size_t chars = std::min<size_t>(size, data.size()) / sizeof(wchar_t);
    return std::wstring(text, std::find(text, text + chars, L'\0'));
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    std::vector<BYTE> data(512);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD type = 0, size = 0;
        if (::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, data.data(),
                                                static_cast<DWORD>(data.size() - 4), &size)) {
            if (type != REG_SZ && type != REG_MULTI_SZ && type != REG_EXPAND_SZ)
                return {};
            return Utf8(TextOf(data, size));
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > (1u << 16))
            return {};
        data.assign(size + 4, 0);
    }
    return {};
}

std::wstring RegistryText(HKEY key, const wchar_t* name)
{
    std::vector<BYTE> data(512);
    DWORD type = 0, size = static_cast<DWORD>(data.size() - 4);
    if (::RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    return TextOf(data, size);
}

int RegistryLatency(HKEY key)
{
    DWORD value = 0, type = 0, size = sizeof value;
    if (::RegQueryValueExW(key, L"LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                           &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value || value > kMaxLatencyMs)
        return -1;
    return static_cast<int>(value);
}

std::wstring Upper(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// "\\.\COM10" and "com10" name the same port as "COM10".
std::wstring PortKey(const std::string& name)
{
    std::string bare = name;
    if (bare.rfind("\\\\.\\", 0) == 0)
        bare.erase(0, 4);
    return Upper(std::wstring(bare.begin(), bare.end()));
}

// Every present ports-class device that names a port, described.
std::vector<PortInfo> PortDevices()
{
    std::vector<PortInfo> found;
    const HDEVINFO set = ::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return found;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        const HKEY parameters =
            ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (parameters == INVALID_HANDLE_VALUE)
            continue;
        PortInfo info;
        const std::wstring portName = RegistryText(parameters, L"PortName");
        info.device = Utf8(portName);
        info.latencyMs = RegistryLatency(parameters);
        ::RegCloseKey(parameters);
        if (portName.empty())
            continue;  // a parallel port, or a device without its port yet
        info.friendlyName = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
        info.manufacturer = DeviceProperty(set, device, SPDRP_MFG);
        info.usbId = UsbIdOf(DeviceProperty(set, device, SPDRP_HARDWAREID));
        // On the USB bus itself, or on an adapter driver's own enumerator with USB IDs.
        info.usb = !info.usbId.empty() || DeviceProperty(set, device, SPDRP_ENUMERATOR_NAME) == "USB";
        found.push_back(std::move(info));
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return found;
}

PortInfo Describe(const std::string& name, const std::vector<PortInfo>& devices)
{
    const std::wstring key = PortKey(name);
    for (const PortInfo& device : devices) {
        if (PortKey(device.device) == key) {
            PortInfo info = device;
            info.device = name;
            return info;
        }
    }
    PortInfo info;
    info.device = name;
    return info;
}

}  // namespace

PortInfo DescribePort(const std::string& name, const SystemRoots&)
{
    return Describe(name, PortDevices());
}

std::vector<PortInfo> DescribePorts(const SystemRoots&)
{
    PortList list;
    list.EnumeratePorts();
    const std::vector<PortInfo> devices = PortDevices();
    std::vector<PortInfo> ports;
    // The window's order: the last name listed first.
    for (auto name = list.PortNames().rbegin(); name != list.PortNames().rend(); ++name)
        ports.push_back(Describe(*name, devices));
    return ports;
}

int ReadLatencyTimer(const std::string&)
{
    return -1;
}

bool WriteLatencyTimer(const std::string&, int)
{
    return false;
}

int RequestLowLatency(int, const PortInfo&)
{
    return -1;
}
