// The sequences over the SCSI pass-through (Windows 2000 without own driver,
// Windows XP): the first drive of the selected device, the image zero-padded
// to whole blocks in the command's own buffer.
#pragma once

#include "device/pass_through.h"
#include "discovery/device_info.h"
#include "firmware/isp_path.h"

namespace usbisp {

class PassThroughPath : public IspPath {
  public:
    PassThroughPath(Platform& platform, Transports& transports, const DeviceInfo& selected)
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
    bool Transfer(const FirmwareImage& image, std::uint32_t imageLength,
                  std::uint8_t mode) override;

  private:
    PassThrough passThrough_;
    const DeviceInfo& selected_;
};

}  // namespace usbisp
