// What the firmware flows keep for the whole run.
#pragma once

namespace usbisp {

struct FirmwareState {};

}  // namespace usbisp
