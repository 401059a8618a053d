// usbisp-reader: a card reader of the bench served on a real USB bus through
// the kernel's gadget framework (configfs and FunctionFS).
#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "emulator/controller.h"
#include "emulator/usb_bulk_only.h"
#include "platform/ascii_case.h"
#include "platform/sim/bench_file.h"
#include "reader/firmware_out.h"
#include "reader/functionfs_server.h"
#include "reader/gadget.h"
#include "reader/privilege.h"
#include "reader/reader_options.h"
#include "reader/split_service.h"

namespace {

constexpr const char* kKernelDriverFile = "TAVDRV.SYS";
// A controller that says it is not on the bus any more lost its cable.
constexpr const char* kDetachedState = "not attached";
constexpr int kDetachLooks = 5;
constexpr int kDetachLookMs = 20;

int UsageError(const std::string& what) {
    std::cerr << "usbisp-reader: " << what << "\n" << usbisp::reader::kReaderUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace usbisp;
    std::string error;
    const auto options =
        reader::ParseReaderOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) return UsageError(error);
    if (options->help) {
        std::cout << reader::kReaderUsage << reader::kReaderHelp;
        return 0;
    }
    if (options->version) {
        std::cout << "usbisp-reader " << USBISP_VERSION << "\n";
        return 0;
    }

    const auto bench = sim::LoadBenchFile(options->bench, error);
    if (!bench) {
        std::cerr << "usbisp-reader: " << error << "\n";
        return 2;
    }
    if (options->reader > bench->readers.size()) {
        std::cerr << "usbisp-reader: " << options->bench << ": there is no reader "
                  << options->reader << "\n";
        return 2;
    }
    const sim::ReaderConfig& config = bench->readers[options->reader - 1];
    sim::ReaderEnvironment environment;
    environment.kernelDriverInstalled =
        std::any_of(bench->drivers.begin(), bench->drivers.end(),
                    [](const std::string& file) { return AsciiUpper(file) == kKernelDriverFile; });
    environment.readerCount = bench->readers.size();
    auto controller = std::make_shared<sim::ReaderController>(config, environment);
    sim::UsbBulkOnlyFront front(controller, config.letters.size());

    reader::FirmwareOut firmwareOut(options->firmwareOut);
    if (!firmwareOut.Update(controller->Firmware(), error)) {
        std::cerr << "usbisp-reader: " << error << "\n";
        return 1;
    }

    std::optional<reader::ServiceUser> user;
    if (!options->user.empty()) {
        user = reader::ParseServiceUser(options->user, error);
        if (!user) return UsageError(error);
    }

    reader::Gadget gadget(options->configfs, options->udc);
    if (!gadget.Create({config.vid, config.pid, config.manufacturer, config.product, config.serial},
                       user ? reader::FunctionFsOwner(*user) : "", error)) {
        std::cerr << "usbisp-reader: " << error << "\n";
        return 1;
    }

    // Serves until SIGTERM or SIGINT and writes the firmware out a last time;
    // the exit status.
    auto serve = [&](const reader::BindRequest& bind) {
        bool writeFailed = false;
        reader::ServerHooks hooks;
        hooks.ready = [&] {
            std::string bindError;
            if (!bind(bindError)) {
                std::cerr << "usbisp-reader: " << bindError << "\n";
                return false;
            }
            std::cout << "ready" << std::endl;
            return true;
        };
        hooks.afterCommand = [&] {
            std::string writeError;
            if (!firmwareOut.Update(controller->Firmware(), writeError) && !writeFailed) {
                std::cerr << "usbisp-reader: " << writeError << "\n";
                writeFailed = true;
            }
        };
        // The controller may set its state just after it told the function:
        // the state is looked at a few times over a tenth of a second.
        hooks.unpluggedOnDisable = [&] {
            for (int look = 0; look < kDetachLooks; ++look) {
                if (gadget.ControllerState() == kDetachedState) return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(kDetachLookMs));
            }
            return false;
        };
        if (options->trace)
            hooks.trace = [](const std::string& line) { std::cerr << line << "\n"; };

        std::string serveError;
        const bool served =
            reader::ServeFunctionFs(gadget.functionFsDir(), front, hooks, serveError);
        // Unbound first: the host sees the reader go before its firmware is
        // written out a last time.
        if (!user) gadget.Unbind();
        std::string writeError;
        const bool written = firmwareOut.Update(controller->Firmware(), writeError);
        if (!served) {
            std::cerr << "usbisp-reader: " << serveError << "\n";
            return 1;
        }
        if (!written) {
            std::cerr << "usbisp-reader: " << writeError << "\n";
            return 1;
        }
        return 0;
    };
    const int status = user ? reader::ServeAsUser(gadget, *user, serve)
                            : serve([&](std::string& bindError) { return gadget.Bind(bindError); });
    gadget.Remove();
    return status;
}
