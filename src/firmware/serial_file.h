// SERIAL.TXT: reading the counter before a programming run, advancing and
// storing it after a successful one.
#pragma once

#include "firmware/firmware_state.h"
#include "platform/platform.h"
#include "view/operator_messages.h"

namespace usbisp {

inline constexpr const char* kSerialFileName = "SERIAL.TXT";
// The new counter is written here first and then renamed over SERIAL.TXT, so
// that one of the two files always holds a whole counter: the platform's
// rename does not replace a file (Windows 9x cannot), so the old file goes
// just before the rename.
inline constexpr const char* kSerialNewFileName = "SERIAL.NEW";
// Whoever takes numbers from the directory's SERIAL.TXT holds this file: one
// taker per directory, so that no two give the same number.
inline constexpr const char* kSerialLockFileName = "SERIAL.LCK";

// Takes the directory's lock for one taker of numbers, writing `note` (who
// takes them) into it. Null when it cannot be had: the operator has been
// told (box and line), naming the holder as its note does.
std::unique_ptr<FileLock> LockSerialCounter(Platform& platform, const OperatorMessages& messages,
                                            const std::string& note);

// The text SERIAL.TXT holds now, after finishing a replacement that stopped
// before its rename. False when there is no such file or it cannot be read.
bool ReadSerialFileText(Platform& platform, std::string& text);

// Reads the three values, sets CEM to 0x57 and tests the ranges. On failure
// the operator has been told (box and line) and the run must end.
// `text`, when given, receives the file's text as read.
bool ReadSerialCounter(Platform& platform, const OperatorMessages& messages, SerialCounter& counter,
                       std::string* text = nullptr);

// Writes the counter as it stands. False when it could not be saved; the files
// then hold the counter they held before, or it waits whole in SERIAL.NEW
// for the next read to finish the replacement.
bool StoreSerialCounter(Platform& platform, const SerialCounter& counter);

// Step 6 of a programming run that reads SERIAL.TXT. While the last store
// failed, the counter in memory is the one in force, not the stale file: a run
// that will advance it saves it first and is refused (the "Cannot save" box)
// when that fails again; a run with a user serial, which advances nothing,
// keeps it without reading the file over it.
bool TakeSerialCounter(Platform& platform, const OperatorMessages& messages, SerialCounter& counter,
                       bool& unsaved, bool userSerial);

// CNT + 1, then the file is replaced. When the counter cannot be saved the
// operator gets the box, the advanced counter lives on in memory and `unsaved`
// is set until a store succeeds.
void AdvanceAndStoreSerialCounter(Platform& platform, MainView& view, SerialCounter& counter,
                                  bool& unsaved);

}  // namespace usbisp
