#include "firmware/serial_file.h"

#include <cstdio>
#include <string>

#include "firmware/serial_number.h"

namespace usbisp {

namespace {

constexpr const char* kCannotOpen = "Error!!!  Can Not Open Serial.txt !!!";
constexpr const char* kNotCorrect = "Error!!! CEM,PC,SERIAL Not Correct !!!";
constexpr const char* kCannotSave = "nError!!! Cannot save [SERIAL.TXT], program terminate";

std::string ReadAll(std::FILE* file) {
    std::string text;
    char chunk[256];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
    return text;
}

bool ReadText(Platform& platform, const char* name, std::string& text) {
    std::FILE* file = platform.OpenFile(name, "r");
    if (!file) return false;
    text = ReadAll(file);
    std::fclose(file);
    return true;
}

bool Exists(Platform& platform, const char* name) {
    std::FILE* file = platform.OpenFile(name, "r");
    if (!file) return false;
    std::fclose(file);
    return true;
}

}  // namespace

bool ReadSerialCounter(Platform& platform, const OperatorMessages& messages,
                       SerialCounter& counter) {
    std::string text;
    if (!ReadText(platform, kSerialFileName, text)) {
        // A replacement that stopped between removing the old file and renaming
        // the new one left the new counter under the new file's name: finish it.
        if (!ReadText(platform, kSerialNewFileName, text)) {
            messages.BoxAndLine(kCannotOpen);
            return false;
        }
        platform.RenameFile(kSerialNewFileName, kSerialFileName);
    }
    ParseSerialText(text, counter);
    counter.CEM = kSerialPrefix;
    if (!SerialCounterInRange(counter)) {
        messages.BoxAndLine(kNotCorrect);
        return false;
    }
    return true;
}

void AdvanceAndStoreSerialCounter(Platform& platform, MainView& view, SerialCounter& counter) {
    AdvanceSerialCounter(counter);
    const std::string text = FormatSerialText(counter);
    auto cannotSave = [&] { view.MessageBox(kCannotSave, kProgramName, BoxIcon::Stop); };

    std::FILE* file = platform.OpenFile(kSerialNewFileName, "w");
    if (!file) return cannotSave();
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        // A full disk: SERIAL.TXT still holds the old counter.
        platform.RemoveFile(kSerialNewFileName);
        return cannotSave();
    }
    // The platform's rename does not replace a file, so the old one goes
    // first. Should the old one stay, it stays in force: the new file goes, so
    // that no stale copy waits for a later recovery.
    if (!platform.RemoveFile(kSerialFileName) && Exists(platform, kSerialFileName)) {
        platform.RemoveFile(kSerialNewFileName);
        return cannotSave();
    }
    // Should the rename fail, the next read takes the new file.
    platform.RenameFile(kSerialNewFileName, kSerialFileName);
}

}  // namespace usbisp
