// The bench's registry: the keys the drivers of Windows 95/98 and ME leave for
// each unit they enumerate, with the unit's drive letter in
// "CurrentDriveLetterAssignment". Read only, as the program uses it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/platform.h"

namespace usbisp::sim {

class Registry {
  public:
    // A string value; the first value given for a key and name stays.
    void AddString(const std::string& key, const std::string& name, const std::string& data);

    // Keys compare without regard to case, as Windows does. A failed open
    // sets the result to 0.
    long Open(const std::string& key, RegKey* result);
    // Copies the string with its terminating zero; ERROR_MORE_DATA when it
    // does not fit.
    long Query(RegKey key, const std::string& name, std::uint8_t* data, std::uint32_t* size,
               std::string& text);
    long Close(RegKey key);
    std::size_t openKeyCount() const { return open_.size(); }

  private:
    std::map<std::string, std::map<std::string, std::string>> keys_;  // by upper-case key
    std::map<RegKey, std::string> open_;
    RegKey next_ = 0x2000;
};

// The key forms the port drivers and ASPI use for one unit of a reader.
struct ReaderKeyFields {
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::string serial;           // as the reader reports it, up to 12 characters
    std::string inquiryVendor;    // space-padded to 8
    std::string inquiryProduct;   // space-padded to 16
    std::string inquiryRevision;  // space-padded to 4
};
std::string PortDriver65Key(const ReaderKeyFields& reader, int unit);
std::string PortDriver66Key(const ReaderKeyFields& reader, int unit);
std::string AspiKey(const ReaderKeyFields& reader, int unit);

}  // namespace usbisp::sim
