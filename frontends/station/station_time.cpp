#include "station/station_time.h"

#include "platform/printf_text.h"

namespace usbisp::station {

std::string IsoTime(const LocalTime& t) {
    return Printf("%04u-%02u-%02uT%02u:%02u:%02u.%03u", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.milliseconds);
}

}  // namespace usbisp::station
