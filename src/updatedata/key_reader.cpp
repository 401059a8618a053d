// Looking one key up in DEVICE.TXT. The file is opened and scanned from its
// start for every key and closed exactly once on every path.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "updatedata/update_data_file.h"

namespace usbisp {
namespace {

constexpr const char* kDeviceFileName = "DEVICE.TXT";

constexpr int kCannotOpen = 1;
constexpr int kNotFound = 0;
constexpr int kEmptyValue = 2;

// The white space that separates words, as "%s" sees it in the C locale.
bool IsBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void ClearWord(KeyReader& reader) {
    reader.wordLength = 0;
    reader.word[0] = '\0';
}

enum class WordRead { Word, TooLong, End };

// Reads the next white-space-separated word into the buffer. A word that does
// not fit is read to its end and reported as too long, so that its tail never
// comes back as words of its own (it could spell a key). The blank that ends a
// word stays in the stream: a quoted value continues from it.
WordRead ReadWord(std::FILE* file, KeyReader& reader) {
    ClearWord(reader);
    int c = std::fgetc(file);
    while (c != EOF && IsBlank(c)) c = std::fgetc(file);
    if (c == EOF) return WordRead::End;

    std::size_t length = 0;
    bool tooLong = false;
    for (; c != EOF && !IsBlank(c); c = std::fgetc(file)) {
        if (length + 1 < reader.word.size()) {
            reader.word[length++] = static_cast<char>(c);
        } else {
            tooLong = true;
        }
    }
    if (c != EOF) std::ungetc(c, file);
    if (tooLong) {
        ClearWord(reader);
        return WordRead::TooLong;
    }
    reader.word[length] = '\0';
    reader.wordLength = length;
    return WordRead::Word;
}

bool WordIs(const KeyReader& reader, std::string_view text) {
    return std::string_view(reader.word.data(), reader.wordLength) == text;
}

bool AppendChar(KeyReader& reader, int c) {
    if (reader.wordLength + 1 >= reader.word.size()) return false;
    reader.word[reader.wordLength++] = static_cast<char>(c);
    reader.word[reader.wordLength] = '\0';
    return true;
}

// A quoted value with white space in it: the word stopped at the first blank,
// so the rest comes character by character, blanks and line ends included, up
// to and including the closing quote, and then the one character after it
// (the semicolon of a sound entry). False when it does not fit the buffer;
// such a value is longer than any key accepts.
bool AppendQuotedRest(std::FILE* file, KeyReader& reader) {
    int c = 0;
    do {
        c = std::fgetc(file);
        if (c == EOF) return true;  // no closing quote: the semicolon test refuses it
        if (!AppendChar(reader, c)) return false;
    } while (c != '"');
    c = std::fgetc(file);
    return c == EOF || AppendChar(reader, c);
}

// Index of the last occurrence of `c` in the word, or npos.
std::size_t LastIndexOf(const KeyReader& reader, char c) {
    return std::string_view(reader.word.data(), reader.wordLength).rfind(c);
}

// Everything after the file is open; the result of ReadKeyValue.
int FindValue(std::FILE* file, KeyReader& reader, std::string_view key, int maxLength) {
    for (;;) {
        const WordRead read = ReadWord(file, reader);
        if (read == WordRead::End) return kNotFound;
        if (read == WordRead::Word && WordIs(reader, key)) break;
    }
    if (ReadWord(file, reader) != WordRead::Word || !WordIs(reader, "=")) return kNotFound;
    if (ReadWord(file, reader) != WordRead::Word) return kNotFound;

    if (reader.word[0] != '"') return kNotFound;
    const std::size_t lastQuote = LastIndexOf(reader, '"');
    if (lastQuote == 1) return kEmptyValue;
    if (lastQuote == 0 && !AppendQuotedRest(file, reader)) {
        ClearWord(reader);
        return kNotFound;
    }

    const std::size_t semicolon = LastIndexOf(reader, ';');
    if (semicolon == std::string_view::npos) return kNotFound;
    const int position = static_cast<int>(semicolon) + 1;
    if (position <= 2 || position > maxLength + 3) return kNotFound;
    // The semicolon must follow the closing quote directly; anything else
    // between them ("abc"x;) or a semicolon inside an unclosed value is a
    // malformed entry, not a value with a stray character.
    if (reader.word[semicolon - 1] != '"') return kNotFound;

    reader.keyFound = 1;
    return position;
}

}  // namespace

int ReadKeyValue(Platform& platform, KeyReader& reader, const char* key, int maxLength) {
    reader.keyFound = 0;
    std::FILE* file = platform.OpenFile(kDeviceFileName, "r");
    if (file == nullptr) return kCannotOpen;
    const int result = FindValue(file, reader, key, maxLength);
    std::fclose(file);
    return result;
}

}  // namespace usbisp
