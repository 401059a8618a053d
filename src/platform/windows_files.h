// The program's directory as a Windows program sees it, for the platform
// layers that are not Windows (the bench, the Linux layer): the files come
// from Windows stations and must behave as they did there.
//
// - A name finds its file whatever the case of either (DEVICE.TXT finds
//   Device.txt); when several spellings exist the exact one wins, else the
//   first in byte order. A file opened for writing, removed or renamed is the
//   one found, so SERIAL.TXT is written back under its own name and never gets
//   a twin. Letters fold as ASCII; a name with a path separator in it is taken
//   as it stands.
// - Text mode (a mode without 'b') reads as the Windows C library reads: a
//   carriage return directly before a line feed is dropped (a lone one stays),
//   and a Ctrl-Z (0x1A) ends the file. Writing needs no translation: the
//   program writes no line end into a text file (SERIAL.TXT has none), so a
//   text-mode write goes out as it is. Update modes ("r+", "a") are opened as
//   they are; the program does not use them.
//
// On Windows itself the system does all this, and the functions hand the names
// and modes on unchanged.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace usbisp {

class WindowsDirectory {
  public:
    explicit WindowsDirectory(std::string path);

    // The name the file has in the directory, empty when there is none.
    std::string Find(const char* name) const;

    std::FILE* Open(const char* name, const char* mode) const;
    bool Remove(const char* name) const;
    // Fails when a file of the name `to` exists, whatever its case, as rename
    // does on Windows.
    bool Rename(const char* from, const char* to) const;
    // The path of the file `name` stands for (the one found, else `name`).
    std::string PathFor(const char* name) const { return PathOf(Resolve(name)); }
    // The directory's record of its files on the disk (a rename, a removal).
    // Windows keeps it itself.
    bool FlushDirectory() const;

  private:
    std::string PathOf(const std::string& name) const;
    // The name to use for `name`: the one found, else `name` itself.
    std::string Resolve(const char* name) const;

    std::string path_;
};

// What was written to the stream, on the disk and not only in the cache.
bool FlushStream(std::FILE* file);

// What a Windows text-mode read delivers from these bytes.
std::string WindowsTextModeRead(std::string_view raw);

}  // namespace usbisp
