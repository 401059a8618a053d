#include "access/access_path.h"

#include "access/aspi_access.h"
#include "access/kernel_driver_access.h"
#include "access/no_access_path.h"
#include "access/pass_through_access.h"
#include "access/port_driver_access.h"

namespace usbisp {

std::unique_ptr<AccessPath> MakeAccessPath(const AccessContext& ctx) {
    switch (AccessPathFor(ctx.app)) {
        case AccessPathId::PassThrough:
            return std::make_unique<PassThroughAccess>(ctx);
        case AccessPathId::KernelDriver:
            return std::make_unique<KernelDriverAccess>(ctx);
        case AccessPathId::PortDriver66:
            return std::make_unique<PortDriverAccess>(ctx, PortScanForm::Code66);
        case AccessPathId::PortDriver65:
            return std::make_unique<PortDriverAccess>(ctx, PortScanForm::Code65);
        case AccessPathId::Aspi:
            return std::make_unique<AspiAccess>(ctx);
        case AccessPathId::None:
            break;
    }
    return std::make_unique<NoAccessPath>();
}

std::uint8_t OpenAccessPath(const AccessContext& ctx) {
    return MakeAccessPath(ctx)->Open();
}

std::uint8_t DiscoverDevices(AccessContext ctx) {
    ClearForDiscovery(ctx);
    return MakeAccessPath(ctx)->Scan();
}

std::uint8_t RescanDevices(AccessContext ctx) {
    ClearDeviceTable(ctx);
    return MakeAccessPath(ctx)->Scan();
}

}  // namespace usbisp
