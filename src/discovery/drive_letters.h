// The drive letters of the port-driver and ASPI paths: Windows 95/98 and ME
// keep the letter of each unit in the registry, under a key that the driver
// builds from the device's identity.
#pragma once

#include <cstdint>
#include <string>

#include "discovery/device_info.h"
#include "platform/platform.h"

namespace usbisp {

enum class DriveLetterKeyForm { PortDriver65, PortDriver66, Aspi };

// The key under HKEY_LOCAL_MACHINE of unit `unit` (0 to 5) of the device.
// Identifiers are two lower-case hexadecimal digits per byte; the fields go
// in full with every space made "_", or (ASPI, after VEN_, PROD_ and REV_)
// trimmed of trailing spaces. The key is used as a C string: a zero byte in a
// field ends it there.
std::string DriveLetterKey(DriveLetterKeyForm form, const DeviceInfo& device, int unit);

// Reads "CurrentDriveLetterAssignment" of the key into a zeroed 5-byte buffer
// and returns its first character. Nothing is checked: a failed open is still
// queried and closed, and a missing key or value gives 0.
char ReadDriveLetter(Platform& platform, const std::string& key);

}  // namespace usbisp
