// An errno as the messages and the transcript name it: "EBUSY (Device or
// resource busy)", so that an operator can look it up and a test can match it.
#pragma once

#include <string>

namespace usbisp::lnx {

std::string ErrnoText(int error);

}  // namespace usbisp::lnx
