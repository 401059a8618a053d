// ASPI for Win32 (Windows ME without "SelfDriverSel"): no load step, discovery
// over the host adapters, and sequences that load ASPI, make sure the unit at
// the recorded adapter and target is still the selected device, and address
// their requests to it.
#pragma once

#include "access/access_path.h"
#include "device/aspi.h"

namespace usbisp {

class AspiAccess : public AccessPath {
  public:
    explicit AspiAccess(const AccessContext& ctx) : ctx_(ctx) {}

    AccessPathId id() const override { return AccessPathId::Aspi; }
    std::uint8_t Open() override { return 1; }
    std::uint8_t Scan() override;
    std::unique_ptr<IspPath> SequencePath() override;
    // ASPI is loaded within each scan and each sequence: nothing stays open.
    void Close() override {}

  private:
    AccessContext ctx_;
};

class AspiIsp : public IspPath {
  public:
    explicit AspiIsp(const AccessContext& ctx);

    const IspPathStyle& style() const override;
    // The command holds the exact byte count in 16 bits.
    bool CarriesLength(std::uint32_t imageLength) const override {
        return imageLength >= 1 && imageLength <= kMaxPayloadLength;
    }
    bool Open(const OperatorMessages& messages) override;
    void Close() override;
    bool Jump() override { return transport_.IspJump(adapter_, target_); }
    bool ReadStatus(std::uint8_t& status) override {
        return transport_.GetIspStatus(adapter_, target_, status);
    }
    bool Transfer(std::span<const std::uint8_t> image, std::uint32_t imageLength,
                  std::uint8_t mode) override;

  private:
    AccessContext ctx_;
    AspiTransport transport_;
    std::uint8_t adapter_;
    std::uint8_t target_;
};

}  // namespace usbisp
