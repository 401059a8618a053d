// SERIAL.TXT: reading the counter before a programming run, advancing and
// storing it after a successful one.
#pragma once

#include "firmware/firmware_state.h"
#include "platform/platform.h"
#include "view/operator_messages.h"

namespace usbisp {

inline constexpr const char* kSerialFileName = "SERIAL.TXT";
// The new counter is written here first and then renamed over SERIAL.TXT, so
// that one of the two files always holds a whole counter.
inline constexpr const char* kSerialNewFileName = "SERIAL.NEW";

// Reads the three values, sets CEM to 0x57 and tests the ranges. On failure
// the operator has been told (box and line) and the run must end.
bool ReadSerialCounter(Platform& platform, const OperatorMessages& messages,
                       SerialCounter& counter);

// CNT + 1, then the file is replaced. When the counter cannot be saved the
// operator gets the box and the advanced counter lives on in memory only.
void AdvanceAndStoreSerialCounter(Platform& platform, MainView& view, SerialCounter& counter);

}  // namespace usbisp
