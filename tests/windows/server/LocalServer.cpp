// The local server: started by COM with /Embedding, it offers its class for one object only, so
// that every object a test creates lives in a process of its own that the test may kill, and ends
// when that object has gone.

#include "TestServer.h"

#include <cwchar>

namespace {

using namespace vantero::testserver;

DWORD g_mainThread = 0;
bool g_exitAfterCall = false;

void QuitWhenIdle() {
    PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
}

void ExitAfterThisCall() {
    g_exitAfterCall = true;
}

bool Started(const wchar_t* commandLine) {
    return std::wcsstr(commandLine, L"/Embedding") != nullptr ||
           std::wcsstr(commandLine, L"-Embedding") != nullptr;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Run by hand, it has nothing to serve.
    if (!Started(GetCommandLineW()))
        return 2;
    g_mainThread = GetCurrentThreadId();
    SetHost({QuitWhenIdle, ExitAfterThisCall});
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;

    // Make sure the thread has a message queue before COM posts to it.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);

    // One class per process, named on the command line that the class's registration gives: a
    // class offered beside the one asked for would outlive its use and be found by the next
    // client while this process is ending.
    const bool noDo = std::wcsstr(GetCommandLineW(), L"/NoDo") != nullptr;
    IClassFactory* factory = NewClassFactory(noDo ? Kind::NoDoMethod : Kind::Recording);
    DWORD cookie = 0;
    if (factory == nullptr ||
        FAILED(CoRegisterClassObject(noDo ? kNoDoClsid : kLocalClsid, factory, CLSCTX_LOCAL_SERVER,
                                     REGCLS_SINGLEUSE, &cookie))) {
        if (factory != nullptr)
            factory->Release();
        CoUninitialize();
        return 1;
    }
    factory->Release(); // COM holds its own reference while registered

    // Calls come in as messages of this thread's apartment.
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        // The reply goes out from COM's own thread once the call has returned here; give it
        // time to leave before the process ends.
        if (g_exitAfterCall) {
            Sleep(300);
            ExitProcess(4);
        }
    }

    CoRevokeClassObject(cookie);
    CoUninitialize();
    return 0;
}
