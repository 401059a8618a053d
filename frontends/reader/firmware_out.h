// The firmware the served controller holds, kept in a file for whoever checks
// it afterwards: written whole to a temporary file beside it and renamed over
// it, so that a reader killed at any moment leaves the old or the new image,
// never a part.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace usbisp::reader {

class FirmwareOut {
  public:
    explicit FirmwareOut(std::string path) : path_(std::move(path)) {}

    // Writes the image when it differs from the last one written (always the
    // first time); false with `error` set when the file cannot be written.
    bool Update(const std::vector<std::uint8_t>& firmware, std::string& error);

  private:
    std::string path_;
    std::vector<std::uint8_t> written_;
    bool any_ = false;
};

}  // namespace usbisp::reader
