// The SCSI pass-through path (Windows XP, and Windows 2000 without the maker's
// driver): discovery opens every drive letter in turn, the sequences open the
// first drive of the selected device and send the image zero-padded to whole
// blocks in the request's own buffer.
#pragma once

#include "access/access_path.h"
#include "device/pass_through.h"

namespace usbisp {

class PassThroughAccess : public AccessPath {
  public:
    explicit PassThroughAccess(const AccessContext& ctx) : ctx_(ctx) {}

    AccessPathId id() const override { return AccessPathId::PassThrough; }
    std::uint8_t Open() override { return 1; }
    std::uint8_t Scan() override;
    std::unique_ptr<IspPath> SequencePath() override;
    void Close() override;

  private:
    AccessContext ctx_;
};

// The sequences over the pass-through, for one device.
class PassThroughIsp : public IspPath {
  public:
    PassThroughIsp(Platform& platform, Transports& transports, const DeviceInfo& selected)
        : passThrough_(platform, transports), selected_(selected) {}

    const IspPathStyle& style() const override;
    // The command holds the exact byte count in 16 bits.
    bool CarriesLength(std::uint32_t imageLength) const override {
        return imageLength >= 1 && imageLength <= kMaxPayloadLength;
    }
    bool Open(const OperatorMessages& messages) override;
    void Close() override { passThrough_.CloseSelectedDrive(); }
    bool Jump() override { return passThrough_.IspJump(); }
    bool ReadStatus(std::uint8_t& status) override { return passThrough_.GetIspStatus(status); }
    bool Transfer(std::span<const std::uint8_t> image, std::uint32_t imageLength,
                  std::uint8_t mode) override;

  private:
    PassThrough passThrough_;
    const DeviceInfo& selected_;
};

}  // namespace usbisp
