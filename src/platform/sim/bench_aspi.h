// What the bench asks of its ASPI for Win32: the emulated library
// (aspi_library.h) or a recording's (recorded_aspi.h).
#pragma once

#include <cstddef>
#include <string>

#include "platform/aspi.h"
#include "platform/platform.h"

namespace usbisp::sim {

class BenchAspi {
  public:
    virtual ~BenchAspi() = default;
    // The entry point of this name; none when the library lacks it.
    virtual EntryPoint Entry(const std::string& name) = 0;
    // What has fallen due while the program waits arrives: called once by
    // each of its waits.
    virtual void DeliverDue() = 0;
    // Requests posted whose routine has not run to its end.
    virtual std::size_t Posted() const = 0;
    // Whether this call of "LoadLibrary" fails.
    virtual bool CallFails(const std::string& name) = 0;
};

// A request block's fields as its io line shows them: "ha=0 target=1 lun=0
// flags=0x9 buflen=40 senselen=14 cdblen=6 cdb=120000002800".
std::string AspiRequestText(const aspi::SrbExecScsiCmd& b);

}  // namespace usbisp::sim
