// One access path as the programming and verification sequences see it: how
// it opens and closes, how the image reaches the device, and the few places
// where its runs look different (bar steps, the text field, an extra wait).
// Every path has one implementation; the sequences themselves exist once.
#pragma once

#include <cstdint>
#include <span>

#include "view/operator_messages.h"

namespace usbisp {

// The line of a sequence whose device cannot be reached: the drive does not
// open, or the unit at the recorded address is not the selected device.
inline constexpr const char* kAccessDiskDriveFailed = "ERROR: Access Disk Drive Failed!!!";

// How far a programming run advances the bar at each stage; 0 leaves it.
struct ProgramBarSteps {
    int atStart = 0;           // after the caption
    int afterIspEntry = 0;     // after the jump's success line
    int afterWrite = 0;        // after the IspWrite transfer
    int afterWriteStatus = 0;  // after the status read that follows it
    int afterWriteCheck = 0;   // after the status was found to be 0xA5
    int afterVerify = 0;       // after the IspVerify transfer
    int atSuccess = 0;         // after the final success line
};

struct IspPathStyle {
    ProgramBarSteps program;
    // The text field shows the status text at once instead of the empty text.
    bool showsStatusTextFirst = false;
    // A wait after the write's success line and before the compare, in ms.
    std::uint32_t waitBeforeVerify = 0;
};

class IspPath {
  public:
    virtual ~IspPath() = default;

    virtual const IspPathStyle& style() const = 0;
    // Whether an image of this length can be expressed on the path.
    virtual bool CarriesLength(std::uint32_t imageLength) const = 0;
    // On failure the path has told the operator what it has to say.
    virtual bool Open(const OperatorMessages& messages) = 0;
    virtual void Close() = 0;

    virtual bool Jump() = 0;
    // The status byte is handed back also when the read fails.
    virtual bool ReadStatus(std::uint8_t& status) = 0;
    // The first `imageLength` bytes of the image buffer (the whole 64 KB
    // buffer, for the paths that send whole blocks straight from it); mode 0
    // programs (IspWrite), mode 1 compares (IspVerify).
    virtual bool Transfer(std::span<const std::uint8_t> image, std::uint32_t imageLength,
                          std::uint8_t mode) = 0;
};

// A path opened for one sequence: its end closes the path, whichever way the
// sequence leaves, so that no way out can leave it open. Declared after the
// sequence's report, it closes after the report's last line, as the device's
// close follows what the operator is told.
class OpenedPath {
  public:
    // Opens `path`; when it does not open, the path has told the operator why
    // and nothing is closed.
    OpenedPath(IspPath& path, const OperatorMessages& messages)
        : path_(path), open_(path.Open(messages)) {}
    ~OpenedPath() {
        if (open_) path_.Close();
    }
    OpenedPath(const OpenedPath&) = delete;
    OpenedPath& operator=(const OpenedPath&) = delete;

    bool open() const { return open_; }

  private:
    IspPath& path_;
    bool open_;
};

}  // namespace usbisp

namespace usbisp {

// The sequences' view of a path that runs none (a platform outside the table):
// it never opens, and says nothing.
class NoSequence : public IspPath {
  public:
    const IspPathStyle& style() const override;
    bool CarriesLength(std::uint32_t) const override { return true; }
    bool Open(const OperatorMessages&) override { return false; }
    void Close() override {}
    bool Jump() override { return false; }
    bool ReadStatus(std::uint8_t&) override { return false; }
    bool Transfer(std::span<const std::uint8_t>, std::uint32_t, std::uint8_t) override {
        return false;
    }
};

}  // namespace usbisp
