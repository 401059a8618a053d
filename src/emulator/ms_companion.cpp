#include "emulator/ms_companion.h"

#include <algorithm>

namespace usbisp::sim {

namespace {

constexpr std::uint32_t kIdentityBlockAddress = 0x04A55A30u;
constexpr std::size_t kBlock = 512;
constexpr std::uint8_t kSwitchMark[] = {0xAA, 0x55, 0xBB, 0x66};

}  // namespace

bool MsCompanion::IsSwitch(std::uint32_t address, const std::vector<std::uint8_t>& blocks) {
    if (address != kIdentityBlockAddress || blocks.size() != kBlock) return false;
    const auto rest = blocks.begin() + static_cast<long>(std::size(kSwitchMark));
    return std::equal(std::begin(kSwitchMark), std::end(kSwitchMark), blocks.begin()) &&
           std::all_of(rest, blocks.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace usbisp::sim
