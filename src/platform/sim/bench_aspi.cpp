#include "platform/sim/bench_aspi.h"

#include <algorithm>

#include "platform/printf_text.h"

namespace usbisp::sim {

std::string AspiRequestText(const aspi::SrbExecScsiCmd& b) {
    std::string cdb;
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(b.SRB_CDBLen, sizeof b.CDBByte); ++i)
        cdb += Printf("%02x", b.CDBByte[i]);
    return Printf("ha=%u target=%u lun=%u", b.SRB_HaId, b.SRB_Target, b.SRB_Lun) +
           Printf(" flags=0x%x buflen=%u senselen=%u", b.SRB_Flags, b.SRB_BufLen, b.SRB_SenseLen) +
           Printf(" cdblen=%u cdb=", b.SRB_CDBLen) + cdb;
}

}  // namespace usbisp::sim
