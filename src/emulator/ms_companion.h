// The Memory Stick companion controller of an emulated card reader (a reader
// with `memoryStick`): a main firmware and a loader, each with its revision
// text, which the reader's identity block shows for the state it is in. Each
// switch block written to the identity block address moves it from one to the
// other. In the loader it takes images: in program mode it stores one, in
// verify mode it compares one with what it stores (nothing at first).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace usbisp::sim {

class MsCompanion {
  public:
    MsCompanion(std::string mainRevision, std::string loaderRevision)
        : mainRevision_(std::move(mainRevision)), loaderRevision_(std::move(loaderRevision)) {}

    // Whether a block write is the switch: the switch block (0xAA, 0x55, 0xBB,
    // 0x66, then zeros) in one 512-byte block, to the identity block address.
    static bool IsSwitch(std::uint32_t address, const std::vector<std::uint8_t>& blocks);

    void Switch() { inLoader_ = !inLoader_; }
    bool inLoader() const { return inLoader_; }
    // The revision of the state it is in; an empty text stands for eight zero
    // bytes.
    const std::string& revision() const { return inLoader_ ? loaderRevision_ : mainRevision_; }

    void Store(std::vector<std::uint8_t> image) { image_ = std::move(image); }
    // Same length, same bytes.
    bool Holds(const std::vector<std::uint8_t>& image) const { return image == image_; }

    // Unplugged and plugged in again, it starts its main firmware.
    void Replug() { inLoader_ = false; }

  private:
    std::string mainRevision_;
    std::string loaderRevision_;
    bool inLoader_ = false;
    std::vector<std::uint8_t> image_;
};

}  // namespace usbisp::sim
