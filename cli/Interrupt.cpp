#include "cli/Interrupt.h"

#include "cli/BatchPack.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>

#include <io.h>
#include <process.h>
#define write _write
#else
#include <csignal>
#include <unistd.h>
#endif

namespace vantero::cli {

namespace {

std::atomic<bool> requested{false};

// Only what a signal handler may do: an atomic, write() and _exit().
void onInterrupt() {
    if (requested.exchange(true))
        _exit(kStopped);
    static const char kSaid[] =
        "\nvantero-pack: stopping after the table in hand; Ctrl+C again ends at once\n";
    // The count as an unsigned, which both write() and Windows' _write() take without a warning.
    (void)!write(2, kSaid, static_cast<unsigned>(sizeof kSaid - 1));
}

#ifdef _WIN32
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    onInterrupt();
    return TRUE;
}
#else
void onSignal(int) {
    onInterrupt();
}
#endif

} // namespace

void catchInterrupts() {
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // A call to MapInfo that is under way goes on: the run stops between tables.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

bool interruptRequested() {
    return requested.load();
}

} // namespace vantero::cli
