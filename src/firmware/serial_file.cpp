#include "firmware/serial_file.h"

#include <cstdio>
#include <string>

#include "firmware/serial_number.h"

namespace usbisp {

namespace {

constexpr const char* kCannotOpen = "Error!!!  Can Not Open Serial.txt !!!";
constexpr const char* kNotCorrect = "Error!!! CEM,PC,SERIAL Not Correct !!!";
constexpr const char* kCannotSave = "nError!!! Cannot save [SERIAL.TXT], program terminate";
// A second program on the same directory would give the same numbers.
constexpr const char* kNotTaken = "Error!!! Serial.txt cannot be taken: ";

bool ReadText(Platform& platform, const char* name, std::string& text) {
    std::FILE* file = platform.OpenFile(name, "r");
    if (!file) return false;
    text.clear();
    char chunk[256];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return !failed;
}

bool Exists(Platform& platform, const char* name) {
    return !platform.FindFile(name).empty();
}

enum class Replacement { InPlace, NoCounter, Stuck };

// A store that stopped between removing SERIAL.TXT and renaming SERIAL.NEW
// left the counter in SERIAL.NEW alone: finish it. Only when SERIAL.TXT does
// not exist at all (one that exists but cannot be opened is not replaced), and
// only with a whole counter in SERIAL.NEW (one cut short is no counter).
// InPlace: SERIAL.TXT exists now. Stuck: the counter waits in SERIAL.NEW and
// the rename failed, so SERIAL.NEW must not be written over.
Replacement FinishReplacement(Platform& platform) {
    if (Exists(platform, kSerialFileName)) return Replacement::InPlace;
    std::string text;
    if (!ReadText(platform, kSerialNewFileName, text) || !IsWholeSerialText(text))
        return Replacement::NoCounter;
    if (!platform.RenameFile(kSerialNewFileName, kSerialFileName)) return Replacement::Stuck;
    platform.FlushDirectory();
    return Replacement::InPlace;
}

}  // namespace

std::unique_ptr<FileLock> LockSerialCounter(Platform& platform, const OperatorMessages& messages,
                                            const std::string& note) {
    std::string holder;
    std::unique_ptr<FileLock> lock = platform.LockFile(kSerialLockFileName, note, holder);
    if (!lock) messages.BoxAndLine(kNotTaken + holder + " !!!");
    return lock;
}

bool ReadSerialFileText(Platform& platform, std::string& text) {
    return FinishReplacement(platform) == Replacement::InPlace &&
           ReadText(platform, kSerialFileName, text);
}

bool ReadSerialCounter(Platform& platform, const OperatorMessages& messages, SerialCounter& counter,
                       std::string* read) {
    std::string text;
    if (!ReadSerialFileText(platform, text)) {
        messages.BoxAndLine(kCannotOpen);
        return false;
    }
    if (read) *read = text;
    const bool wellFormed = ParseSerialText(text, counter);
    counter.CEM = kSerialPrefix;
    if (!wellFormed || !SerialCounterInRange(counter)) {
        messages.BoxAndLine(kNotCorrect);
        return false;
    }
    return true;
}

bool StoreSerialCounter(Platform& platform, const SerialCounter& counter) {
    if (FinishReplacement(platform) == Replacement::Stuck) return false;
    const std::string text = FormatSerialText(counter);
    std::FILE* file = platform.OpenFile(kSerialNewFileName, "w");
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    // SERIAL.NEW is on the disk before SERIAL.TXT goes: after a power loss the
    // name could otherwise stand for a file whose bytes never were written.
    const bool flushed = written && platform.FlushFile(file);
    const bool closed = std::fclose(file) == 0;
    if (!flushed || !closed) {
        // A full disk: SERIAL.TXT still holds the old counter.
        platform.RemoveFile(kSerialNewFileName);
        return false;
    }
    // The file is written back under the name it was found by.
    const std::string old = platform.FindFile(kSerialFileName);
    if (!old.empty() && !platform.RemoveFile(old.c_str()) && Exists(platform, old.c_str())) {
        // The old file stays in force: the new one goes, so that no stale copy
        // waits for a later recovery.
        platform.RemoveFile(kSerialNewFileName);
        return false;
    }
    // Should the rename fail, the next read or store takes the new file.
    if (!platform.RenameFile(kSerialNewFileName, old.empty() ? kSerialFileName : old.c_str()))
        return false;
    // The rename is on the disk once the directory is.
    return platform.FlushDirectory();
}

bool TakeSerialCounter(Platform& platform, const OperatorMessages& messages, SerialCounter& counter,
                       bool& unsaved, bool userSerial) {
    if (unsaved) {
        // The counter in memory came from a range-tested read and a wrapping
        // advance; it needs no second test.
        if (userSerial) return true;
        if (!StoreSerialCounter(platform, counter)) {
            messages.Box(kCannotSave);
            return false;
        }
        unsaved = false;
    }
    return ReadSerialCounter(platform, messages, counter);
}

void AdvanceAndStoreSerialCounter(Platform& platform, MainView& view, SerialCounter& counter,
                                  bool& unsaved) {
    AdvanceSerialCounter(counter);
    unsaved = !StoreSerialCounter(platform, counter);
    if (unsaved) view.MessageBox(kCannotSave, kProgramName, BoxIcon::Stop);
}

}  // namespace usbisp
