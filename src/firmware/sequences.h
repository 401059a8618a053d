// The programming and verification sequences, told once and run over any
// access path.
#pragma once

#include <cstdint>
#include <string>

#include "access/isp_path.h"
#include "firmware/firmware.h"

namespace usbisp {

// Jump into ISP mode, then up to three write-and-compare attempts. Success
// raises ispSuccessCount by one; every run that entered ISP mode raises
// ispTotalCount and ends in exactly one of success or error.
void ProgramImage(FirmwareContext& ctx, IspPath& path, std::uint32_t imageLength);

// Jump into ISP mode, then up to three compares. Changes no counter.
void VerifyImage(FirmwareContext& ctx, IspPath& path, std::uint32_t imageLength);

// The status byte as the lines show it: "%x".
std::string StatusText(std::uint8_t status);

// When the path cannot express the image's length: the box and the line, and
// true. Nothing has reached the device then.
bool RefuseUncarriedLength(const OperatorMessages& messages, const IspPath& path,
                           std::uint32_t imageLength);

}  // namespace usbisp
