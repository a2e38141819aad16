// Serial devices from the device-setup API: present members of the "PORTS"
// class with their instance identifier, hardware identifiers and PortName.
#include <windows.h>
// After windows.h, which declares what it uses.
#include <setupapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kovrad::platform {
namespace {

constexpr DWORD kHardwareIdsMax = 4096;

bool InstanceId(HDEVINFO list, SP_DEVINFO_DATA* info, std::string* id) {
  DWORD needed = 0;
  SetupDiGetDeviceInstanceIdA(list, info, nullptr, 0, &needed);
  if (needed == 0) return false;
  std::string text(needed, '\0');
  if (!SetupDiGetDeviceInstanceIdA(list, info, text.data(), needed, nullptr)) return false;
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  *id = text;
  return true;
}

std::vector<std::string> HardwareIds(HDEVINFO list, SP_DEVINFO_DATA* info) {
  std::vector<std::string> ids;
  char buffer[kHardwareIdsMax + 2] = {};
  if (!SetupDiGetDeviceRegistryPropertyA(list, info, SPDRP_HARDWAREID, nullptr,
                                         reinterpret_cast<BYTE*>(buffer), kHardwareIdsMax,
                                         nullptr)) {
    return ids;
  }
  for (const char* p = buffer; *p != '\0'; p += std::strlen(p) + 1) ids.emplace_back(p);
  return ids;
}

bool PortName(HKEY key, std::string* name) {
  DWORD type = 0, needed = 0;
  // Only a text is a port name: other bytes there would select a port nobody named.
  if (RegQueryValueExA(key, "PortName", nullptr, &type, nullptr, &needed) != ERROR_SUCCESS ||
      needed == 0 || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return false;
  }
  std::string text(needed, '\0');
  if (RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                       &needed) != ERROR_SUCCESS) {
    return false;
  }
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  *name = text;
  return true;
}

}  // namespace

bool ListSerialDevices(std::vector<SerialDevice>* devices) {
  devices->clear();
  GUID guid;
  DWORD count = 0;
  if (!SetupDiClassGuidsFromNameA("PORTS", &guid, 1, &count) || count == 0) return false;
  HDEVINFO list = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT);
  if (list == INVALID_HANDLE_VALUE) return false;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(list, i, &info); ++i) {
    SerialDevice device;
    if (!InstanceId(list, &info, &device.instance_id)) continue;
    HKEY key = SetupDiOpenDevRegKey(list, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    const bool named = PortName(key, &device.port_name);
    RegCloseKey(key);
    if (!named) continue;
    device.hardware_ids = HardwareIds(list, &info);
    devices->push_back(std::move(device));
  }
  SetupDiDestroyDeviceInfoList(list);
  return true;
}

}  // namespace kovrad::platform
