// The lock file of a directory whose SERIAL.TXT a process takes numbers from:
// one process at a time holds it, and the system lets it go with the process,
// so that no lock outlives a crash or a kill.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace usbisp {

// The most of a holder's note that is read back.
inline constexpr std::size_t kLockNoteMax = 200;

// Takes the file at `path` (made when missing) for this process alone and
// writes `note` and the process's id into it. On Windows the file is opened
// for writing and shared with readers only, which every Windows from 95 on
// keeps a second writer from; elsewhere it carries an exclusive flock. Null
// when the file is held already: `holder` is then "held by " and the
// holder's note, or why the file could not be opened.
std::unique_ptr<FileLock> TakeLockFile(const std::string& path, const std::string& note,
                                       std::string& holder);

}  // namespace usbisp
