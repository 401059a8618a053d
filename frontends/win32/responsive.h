// A command runs to its end inside its handler and does not return to the
// message loop meanwhile. These keep the windows answering Windows while it
// runs, without taking any input, and throw away the input queued meanwhile.
#pragma once

#include <algorithm>
#include <cstdint>

#include "win32/windows_api.h"

namespace usbisp::win32 {

// Lets Windows see the program read its queue, so that Windows XP never turns
// its windows into "(Not Responding)" ghosts; answers the messages other
// programs send to them; paints what needs painting. Nothing is taken from
// the queue but paint requests.
void KeepResponsive();

// Throws away the mouse and keyboard input queued for the program: what the
// operator clicked or typed while a command ran is not carried out after it.
void DiscardQueuedInput();

// The platform of a windowed program: each wait is cut into short slices,
// with KeepResponsive between them.
template <class Base>
class ResponsivePlatform : public Base {
  public:
    using Base::Base;

    void Sleep(std::uint32_t milliseconds) override {
        constexpr std::uint32_t kSliceMs = 50;
        std::uint32_t left = milliseconds;
        do {
            const std::uint32_t slice = std::min(left, kSliceMs);
            Base::Sleep(slice);
            left -= slice;
            KeepResponsive();
        } while (left > 0);
    }
};

}  // namespace usbisp::win32
