// Reading DEVICE.TXT into UpdateData and showing its summary.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "platform/platform.h"
#include "updatedata/update_data.h"
#include "view/views.h"

namespace usbisp {

// The shared word buffer of the key reader. It holds the longest word the key
// table accepts: a 256-character "Device_setting" value with its two quotes and
// its semicolon.
inline constexpr std::size_t kWordBufferSize = 256 + 3 + 1;

// The reader's working state: the word buffer and the found flag. The word is
// kept zero-terminated; wordLength counts its characters. A word that does not
// fit is read to its end and refused as a whole, never written past the buffer.
struct KeyReader {
    std::array<char, kWordBufferSize> word{};
    std::size_t wordLength = 0;
    int keyFound = 0;
};

// Looks `key` up in DEVICE.TXT. 1 when the file cannot be opened; with keyFound
// set, the 1-based position of the value word's last semicolon (value length =
// result - 3), the value standing in the word buffer from its second byte on;
// anything else with keyFound clear means not found or refused (2: an empty
// value). keyFound is cleared on entry. `maxLength` is the longest value the
// key accepts.
int ReadKeyValue(Platform& platform, KeyReader& reader, const char* key, int maxLength);

// Two hexadecimal digits to one byte; a character that is no digit counts 0.
std::uint8_t HexPairToByte(char high, char low);

// The text of the summary box.
std::string BuildUpdateDataSummary(const UpdateData& data, int osKind, int selfDriverMode,
                                   const std::string& driverFileName);

// Reads DEVICE.TXT into `data`, shows the open error box when it cannot be
// read, then the summary box.
void LoadUpdateData(Platform& platform, MainView& view, const AppState& app, UpdateData& data,
                    KeyReader& reader);

}  // namespace usbisp
