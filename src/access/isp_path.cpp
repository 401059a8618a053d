#include "access/isp_path.h"

namespace usbisp {

namespace {

constexpr IspPathStyle kNoSteps{};

}  // namespace

const IspPathStyle& NoSequence::style() const {
    return kNoSteps;
}

}  // namespace usbisp
