// The maker's kernel driver on Windows 2000 ("SelfDriverSel" with
// "TAVDRV.SYS"): the load step only checks that the driver opens, discovery
// runs on the pass-through and reads the identities of the maker's readers
// with the 0xFF block reads, and the sequences hand the image with its exact
// length to the driver, which forms the commands itself.
#pragma once

#include "access/access_path.h"
#include "device/kernel_driver.h"

namespace usbisp {

class KernelDriverAccess : public AccessPath {
  public:
    explicit KernelDriverAccess(const AccessContext& ctx) : ctx_(ctx) {}

    AccessPathId id() const override { return AccessPathId::KernelDriver; }
    std::uint8_t Open() override;
    std::uint8_t Scan() override;
    std::unique_ptr<IspPath> SequencePath() override;
    // The drive handle of the discovery: the driver's own handle is closed by
    // the sequence that opened it.
    void Close() override;

  private:
    AccessContext ctx_;
};

class KernelDriverIsp : public IspPath {
  public:
    KernelDriverIsp(Platform& platform, Transports& transports, const std::string& driverFileName)
        : platform_(platform),
          transports_(transports),
          driverFileName_(driverFileName),
          driver_(platform, transports) {}

    const IspPathStyle& style() const override;
    // The count travels in 32 bits and the data area holds 64 KB.
    bool CarriesLength(std::uint32_t imageLength) const override {
        return imageLength >= 1 && imageLength <= kdrv::kMaxPayload;
    }
    bool Open(const OperatorMessages& messages) override;
    void Close() override { CloseKernelDriver(platform_, transports_); }
    bool Jump() override { return driver_.IspJump(); }
    bool ReadStatus(std::uint8_t& status) override { return driver_.GetIspStatus(status); }
    bool Transfer(std::span<const std::uint8_t> image, std::uint32_t imageLength,
                  std::uint8_t mode) override {
        return driver_.IspTransfer(image.data(), imageLength, mode);
    }

  private:
    Platform& platform_;
    Transports& transports_;
    std::string driverFileName_;
    KernelDriver driver_;
};

}  // namespace usbisp
