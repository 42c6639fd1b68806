// vantero-pack: the window program's batch pack from the command line, for scheduled maintenance.
// On Windows it speaks COM to "MapInfo.Application"; elsewhere the session bus reaches the
// stand-in, which the bus starts on the first call.

#include "cli/BatchPack.h"
#include "cli/Interrupt.h"
#include "cli/Options.h"

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "mapinfo/com/ComAutomation.h"

#include <io.h>
#include <objbase.h>
#define isatty _isatty
#else
#include "mapinfo/dbus/DBusAutomation.h"

#include <QCoreApplication>
#include <unistd.h>
#endif

namespace {

int run(int argc, char** argv) {
    using namespace vantero::cli;
    const auto parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* early = std::get_if<EarlyExit>(&parsed)) {
        (early->status == 0 ? std::cout : std::cerr) << early->text;
        return early->status;
    }
    const Options& options = std::get<Options>(parsed);
    catchInterrupts();
    const Console console{std::cout, std::cerr, isatty(2) != 0};
#ifdef _WIN32
    // A single-threaded apartment, as an automation client needs.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    {
        vantero::ComAutomationFactory servers;
        status = runBatch(options, servers, console, interruptRequested);
    }
    CoUninitialize();
    return status;
#else
    QCoreApplication application(argc, argv);
    vantero::DBusAutomationFactory servers(QDBusConnection::sessionBus());
    return runBatch(options, servers, console, interruptRequested);
#endif
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "vantero-pack: " << error.what() << '\n';
    } catch (...) {
        std::cerr << "vantero-pack: an unknown failure\n";
    }
    return vantero::cli::kSomeFailed;
}
