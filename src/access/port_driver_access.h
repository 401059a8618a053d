// The port drivers of Windows 95/98 and of Windows ME with "SelfDriverSel":
// code 66 when the disk port driver "RE20RERI.VAR" is chosen, code 65 with the
// others. The handlers open the driver (their load step) before discovery and
// before each firmware run; discovery asks the driver for its devices, and
// the sequences send their requests to selectedDevice. The code-65 handle is
// closed after every discovery, the code-66 discovery closes its own.
#pragma once

#include "access/access_path.h"
#include "device/port_driver.h"
#include "discovery/port_scan.h"

namespace usbisp {

class PortDriverAccess : public AccessPath {
  public:
    PortDriverAccess(const AccessContext& ctx, PortScanForm form) : ctx_(ctx), form_(form) {}

    AccessPathId id() const override {
        return form_ == PortScanForm::Code66 ? AccessPathId::PortDriver66
                                             : AccessPathId::PortDriver65;
    }
    std::uint8_t Open() override;
    std::uint8_t Scan() override { return ScanPortDevices(ctx_, form_); }
    void AfterDiscovery(std::uint8_t status) override;
    std::unique_ptr<IspPath> SequencePath() override;
    void Close() override { ClosePortDriver(ctx_.platform, ctx_.transports); }

  private:
    AccessContext ctx_;
    PortScanForm form_;
};

// The sequences over code 65: the image with its exact length; the driver
// forms the commands.
class PortDriver65Isp : public IspPath {
  public:
    PortDriver65Isp(Platform& platform, Transports& transports, const int& selectedDevice)
        : platform_(platform),
          transports_(transports),
          driver_(platform, transports, selectedDevice) {}

    const IspPathStyle& style() const override;
    // The count travels in 32 bits.
    bool CarriesLength(std::uint32_t imageLength) const override {
        return imageLength >= 1 && imageLength <= kMaxTransferLength;
    }
    // The load step has opened the driver already.
    bool Open(const OperatorMessages&) override { return true; }
    void Close() override { ClosePortDriver(platform_, transports_); }
    bool Jump() override { return driver_.IspJump(); }
    bool ReadStatus(std::uint8_t& status) override { return driver_.GetIspStatus(status); }
    bool Transfer(std::span<const std::uint8_t> image, std::uint32_t imageLength,
                  std::uint8_t mode) override {
        return driver_.IspTransfer(image.data(), imageLength, mode);
    }

  private:
    Platform& platform_;
    Transports& transports_;
    PortDriver65 driver_;
};

// The sequences over code 66: the command block with the rounded length, the
// data phase straight from the image buffer.
class PortDriver66Isp : public IspPath {
  public:
    PortDriver66Isp(Platform& platform, Transports& transports, const int& selectedDevice)
        : platform_(platform),
          transports_(transports),
          selectedDevice_(selectedDevice),
          driver_(platform, transports, selectedDevice) {}

    const IspPathStyle& style() const override;
    // The command holds the exact byte count in 16 bits.
    bool CarriesLength(std::uint32_t imageLength) const override {
        return imageLength >= 1 && imageLength <= kMaxPayloadLength;
    }
    bool Open(const OperatorMessages&) override { return true; }
    void Close() override { ClosePortDriver(platform_, transports_); }
    bool Jump() override { return driver_.IspJump(); }
    bool ReadStatus(std::uint8_t& status) override { return driver_.GetIspStatus(status); }
    bool Transfer(std::span<const std::uint8_t> image, std::uint32_t imageLength,
                  std::uint8_t mode) override;

  private:
    Platform& platform_;
    Transports& transports_;
    const int& selectedDevice_;
    PortDriver66 driver_;
};

}  // namespace usbisp
