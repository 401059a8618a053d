// The access paths' own state: each transport owns its handle and its request
// buffer. A handle is null when its path is closed.
#pragma once

namespace usbisp {

struct Transports {};

}  // namespace usbisp
