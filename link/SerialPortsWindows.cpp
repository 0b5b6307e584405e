// The COM ports of a Windows system: the kernel's list in the registry, and the device manager's names.
#include "SerialPorts.h"

#include <windows.h>
// Before devguid.h, so that it defines GUID_DEVCLASS_PORTS rather than only declaring it.
#include <initguid.h>

#include <devguid.h>
#include <setupapi.h>

#include <string>
#include <vector>

namespace SerialPorts {

namespace {

// A string value of key; empty when it is missing or not a string.
QString stringValue(HKEY key, const wchar_t* name) {
    wchar_t buffer[256] = {};
    DWORD type = 0, size = sizeof(buffer) - sizeof(wchar_t);
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    return QString::fromWCharArray(buffer);
}

QString deviceProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
    wchar_t buffer[512] = {};
    // A multi-string (the hardware ids) reads as its first string.
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &info, property, nullptr, reinterpret_cast<BYTE*>(buffer),
                                             sizeof(buffer) - sizeof(wchar_t), nullptr))
        return {};
    return QString::fromWCharArray(buffer);
}

// The device manager's ports, by COM name.
std::map<QString, Device> describedPorts() {
    std::map<QString, Device> ports;
    const HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return ports;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        const HKEY key = ::SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        const QString port = stringValue(key, L"PortName").trimmed().toUpper();
        ::RegCloseKey(key);
        if (!port.isEmpty())
            ports[port] = describedPort(deviceProperty(set, info, SPDRP_FRIENDLYNAME),
                                        deviceProperty(set, info, SPDRP_HARDWAREID));
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return ports;
}

} // namespace

std::vector<Device> listWindows() {
    std::vector<std::pair<QString, QString>> values;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return {};
    for (DWORD i = 0;; ++i) {
        wchar_t name[256] = {}, data[64] = {};
        DWORD nameSize = 255, dataSize = sizeof(data) - sizeof(wchar_t), type = 0;
        const LONG status = ::RegEnumValueW(key, i, name, &nameSize, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_SUCCESS && type == REG_SZ)
            values.emplace_back(QString::fromWCharArray(name), QString::fromWCharArray(data));
    }
    ::RegCloseKey(key);
    return fromSerialComm(values, describedPorts());
}

} // namespace SerialPorts
