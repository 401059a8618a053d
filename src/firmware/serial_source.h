// Where a programming run takes its serial number from. Without one the run
// reads SERIAL.TXT and advances it after a success. A station that programs
// several readers at once cannot wait for a success before the next number is
// due: its source reserves each number, saved as used, before the image is
// stamped, and keeps its own account of the numbers it gave.
#pragma once

#include "firmware/firmware_state.h"
#include "firmware/serial_number.h"
#include "platform/platform.h"
#include "view/operator_messages.h"

namespace usbisp {

class SerialSource {
  public:
    virtual ~SerialSource() = default;

    // In place of reading SERIAL.TXT: `counter` receives the values this run
    // stamps. With a user serial nothing is reserved, the counter is only
    // read. False ends the run; the operator has been told.
    virtual bool Take(Platform& platform, const OperatorMessages& messages, SerialCounter& counter,
                      bool userSerial) = 0;
    // The serial number built from what Take gave, before it is stamped;
    // `stamped`: whether the image takes it (an image that takes no serial
    // is programmed without it).
    virtual void Built(const SerialNumber& serial, bool stamped) = 0;
};

}  // namespace usbisp
