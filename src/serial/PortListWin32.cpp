// The list of serial ports on Windows, from the registry's serial device map.
#include "serial/PortListWin32.h"

#include "serial/PortList.h"
#include "serial/PortOrder.h"

#include <algorithm>

bool ListRegistryPorts(HKEY root, const std::string& subKey, std::vector<std::string>& names)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    // Buffers as large as the longest value name and data of the key, so no driver's long
    // device name or port name is cut or skipped.
    DWORD maxName = 0, maxData = 0;
    if (::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
        ::RegCloseKey(key);
        return false;
    }
    std::vector<char> name(maxName + 2);
    std::vector<BYTE> data(maxData + 2);
    std::vector<std::string> found;
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size() - 1);
        DWORD type = 0;
        const LONG r = ::RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type,
                                       data.data(), &dataSize);
        if (r == ERROR_MORE_DATA && data.size() < (1u << 24)) {
            // A value grown since the key was measured: larger buffers, same index.
            name.resize(name.size() * 2 + 256);
            data.resize(data.size() * 2 + 256);
            --index;
            continue;
        }
        if (r != ERROR_SUCCESS)
            break;  // ERROR_NO_MORE_ITEMS, or the key went away meanwhile
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            continue;
        // Registry strings need not end in NUL; the data size bounds them.
        const char* text = reinterpret_cast<const char*>(data.data());
        const std::string port(text, std::find(text, text + dataSize, '\0'));
        if (!port.empty())
            found.push_back(port);
    }
    ::RegCloseKey(key);
    std::sort(found.begin(), found.end(), PortNameLess);
    names = std::move(found);
    return true;
}

int PortList::EnumeratePorts()
{
    std::vector<std::string> names;
    if (!ListRegistryPorts(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM\\", names))
        return portCount;
    // The list has 256 places, as the window's always had; ports beyond them are not listed.
    if (names.size() > 256)
        names.resize(256);
    portNames = std::move(names);
    portCount = static_cast<int>(portNames.size());
    return portCount;
}
