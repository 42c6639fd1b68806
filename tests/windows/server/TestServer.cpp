// A stand-in for MapInfo Professional's automation object, for the link's tests: a local server
// (.exe), as MapInfo's is, whose IDispatch has the one method "do" (none when started with /NoDo).
// It offers its class for one object only, so that every object a test creates lives in a process
// of its own that the test may kill, and it ends when that object has gone: a reference the client
// fails to release keeps it running.
//
// One line per event, UTF-8, goes to the file named by the environment variable
// VANTERO_TEST_SERVER_RECORD as COM started the server with it:
//   created <tab> process id
//   lookup <tab> name              every GetIDsOfNames
//   do <tab> statement             every accepted call of "do"
//
// Cue words, anywhere in a statement, in any letter case:
//   failwithtext     DISP_E_EXCEPTION, a description ending in blanks, periods and a CR LF
//   failwithcode     DISP_E_EXCEPTION, no description, scode E_ACCESSDENIED
//   failunknowncode  DISP_E_EXCEPTION, no description, an scode without system text (0x80041234)
//   failwcode        DISP_E_EXCEPTION, no description, wCode 1001 and no scode
//   faildeferredraw  DISP_E_EXCEPTION, everything left to pfnDeferredFillIn
//   exitnow          the process ends in the middle of the call

#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <string>

namespace {

// "MapInfo.Application" and "Vantero.TestServer.NoDo" as run-wine-tests registers them.
constexpr CLSID kClsid = {
    0x6d1c3a57, 0x0f42, 0x4c1e, {0x9a, 0x3b, 0x51, 0x7e, 0x20, 0xc4, 0x8d, 0x11}};
constexpr CLSID kNoDoClsid = {
    0x6d1c3a57, 0x0f42, 0x4c1e, {0x9a, 0x3b, 0x51, 0x7e, 0x20, 0xc4, 0x8d, 0x12}};
constexpr DISPID kDoDispId = 1;

DWORD g_mainThread = 0;
std::wstring g_record;
bool g_noDo = false;

// Appends one line and closes the file again, so that the test can read it at any moment and a
// process that is killed loses nothing it wrote.
void record(const std::string& kind, const std::wstring& text) {
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string line = kind + '\t' + std::string(static_cast<std::size_t>(size), '\0') + '\n';
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &line[kind.size() + 1], size, nullptr,
                        nullptr);
    HANDLE handle =
        CreateFileW(g_record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(handle);
}

bool contains(std::wstring text, const wchar_t* word) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text.find(word) != std::wstring::npos;
}

// Across processes the function is of no use to the caller, so Windows' stub for Invoke calls it
// on this side; Wine 8's does not and hands the caller the bare address. Either way the caller
// gets no more than DISP_E_EXCEPTION.
HRESULT STDMETHODCALLTYPE fillInDeferred(EXCEPINFO*) {
    return S_OK;
}

// Fills the exception information for a cue; false when the statement holds none.
bool failOnCue(const std::wstring& statement, EXCEPINFO& e) {
    if (contains(statement, L"failwithtext")) {
        e.bstrDescription = SysAllocString(L"Cannot pack table: it is not open. . \t\r\n");
        e.scode = static_cast<SCODE>(0x80040301);
    } else if (contains(statement, L"failwithcode")) {
        e.scode = E_ACCESSDENIED;
    } else if (contains(statement, L"failunknowncode")) {
        e.scode = static_cast<SCODE>(0x80041234);
    } else if (contains(statement, L"failwcode")) {
        e.wCode = 1001;
    } else if (contains(statement, L"faildeferredraw")) {
        e.pfnDeferredFillIn = fillInDeferred;
        return true;
    } else {
        return false;
    }
    // What travels with the error but is not shown.
    e.bstrSource = SysAllocString(L"MapInfo.Application");
    e.bstrHelpFile = SysAllocString(L"C:\\MapInfo\\mapinfow.chm");
    e.dwHelpContext = 42;
    return true;
}

// IUnknown for an object that offers the one interface besides it.
template <class Interface> class Object : public Interface {
public:
    virtual ~Object() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        const bool offered = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface));
        *out = offered ? static_cast<Interface*>(this) : nullptr;
        if (!offered)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_count); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&m_count);
        if (left == 0)
            delete this;
        return left;
    }

private:
    LONG m_count = 1;
};

class Application : public Object<IDispatch> {
public:
    Application() { record("created", std::to_wstring(GetCurrentProcessId())); }
    ~Application() override { PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        record("lookup", names[0]);
        // Names match in any letter case, as automation names do.
        const bool known = !g_noDo && count == 1 && _wcsicmp(names[0], L"do") == 0;
        ids[0] = known ? kDoDispId : DISPID_UNKNOWN;
        return known ? S_OK : DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT*, EXCEPINFO* info, UINT*) override {
        // Only the way MapInfo's "do" is meant to be called is accepted: a method call, one
        // positional string by value.
        if (id != kDoDispId || flags != DISPATCH_METHOD || params == nullptr ||
            params->cNamedArgs != 0 || params->cArgs != 1 || params->rgvarg[0].vt != VT_BSTR)
            return DISP_E_MEMBERNOTFOUND;
        const BSTR text = params->rgvarg[0].bstrVal;
        const std::wstring statement(text == nullptr ? L"" : text, SysStringLen(text));
        record("do", statement);
        if (contains(statement, L"exitnow"))
            ExitProcess(3);
        return info != nullptr && failOnCue(statement, *info) ? DISP_E_EXCEPTION : S_OK;
    }
};

class ClassFactory : public Object<IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** out) override {
        Application* object = new Application;
        const HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }
    // The one object decides when the process ends.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    g_mainThread = GetCurrentThreadId();
    if (const wchar_t* file = _wgetenv(L"VANTERO_TEST_SERVER_RECORD"))
        g_record = file;
    // One class per process, named on the command line that the class's registration gives: a
    // class offered beside the one asked for would outlive its use and be found by the next
    // client while this process is ending.
    g_noDo = std::wcsstr(GetCommandLineW(), L"/NoDo") != nullptr;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    // Make sure the thread has a message queue before COM posts to it.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);

    ClassFactory* factory = new ClassFactory;
    DWORD cookie = 0;
    const HRESULT registered = CoRegisterClassObject(
        g_noDo ? kNoDoClsid : kClsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie);
    factory->Release(); // COM holds its own reference while registered
    if (FAILED(registered))
        return 1;

    // Calls come in as messages of this thread's apartment.
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    CoRevokeClassObject(cookie);
    CoUninitialize();
    return 0;
}
