#include "TestServer.h"

#include <cwchar>
#include <new>
#include <string>

namespace vantero::testserver {
namespace {

constexpr DISPID kDoDispId = 1;

Host g_host{nullptr, nullptr};
LONG g_references = 0;
// COM may lock and unlock the server before the first object is made; that is no reason to end.
bool g_objectMade = false;

void AddServerReference() {
    InterlockedIncrement(&g_references);
}

void DropServerReference() {
    if (InterlockedDecrement(&g_references) == 0 && g_objectMade && g_host.lastReleased != nullptr)
        g_host.lastReleased();
}

std::string Utf8(const wchar_t* text, int length) {
    if (text == nullptr || length <= 0)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

// Appends one line and closes the file again, so that the test can read it at any moment and a
// process that is killed loses nothing it wrote.
void Record(const std::wstring& file, const std::string& line) {
    if (file.empty())
        return;
    HANDLE handle = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(handle);
}

bool Contains(const std::wstring& text, const wchar_t* word) {
    std::wstring lower = text;
    for (wchar_t& c : lower)
        c = static_cast<wchar_t>(towlower(c));
    return lower.find(word) != std::wstring::npos;
}

HRESULT STDMETHODCALLTYPE FillInDeferred(EXCEPINFO* info) {
    info->bstrSource = SysAllocString(L"MapInfo.Application");
    info->bstrDescription = SysAllocString(L"Deferred: the table is read-only.");
    info->scode = static_cast<SCODE>(0x80040302);
    info->pfnDeferredFillIn = nullptr;
    return S_OK;
}

// Fills the exception information for a cue; false when the statement holds none.
bool FailOnCue(const std::wstring& statement, EXCEPINFO* info) {
    EXCEPINFO e{};
    if (Contains(statement, L"failwithtext")) {
        e.bstrDescription = SysAllocString(L"Cannot pack table: it is not open. . \t\r\n");
        e.scode = static_cast<SCODE>(0x80040301);
    } else if (Contains(statement, L"failwithcode")) {
        e.scode = E_ACCESSDENIED;
    } else if (Contains(statement, L"failblank")) {
        e.bstrDescription = SysAllocString(L" .. .\r\n");
        e.scode = E_ACCESSDENIED;
    } else if (Contains(statement, L"failunknowncode")) {
        e.scode = static_cast<SCODE>(0x80041234);
    } else if (Contains(statement, L"failwcode")) {
        e.wCode = 1001;
    } else if (Contains(statement, L"faildeferredraw")) {
        // Across processes the function is of no use to the caller, so Windows' stub for Invoke
        // calls it on this side; Wine 8's does not and hands the caller the bare address.
        e.pfnDeferredFillIn = FillInDeferred;
    } else {
        return false;
    }
    // What travels with the error but is not shown.
    if (e.pfnDeferredFillIn == nullptr) {
        e.bstrSource = SysAllocString(L"MapInfo.Application");
        e.bstrHelpFile = SysAllocString(L"C:\\MapInfo\\mapinfow.chm");
        e.dwHelpContext = 42;
    }
    if (info != nullptr)
        *info = e;
    else {
        SysFreeString(e.bstrSource);
        SysFreeString(e.bstrDescription);
        SysFreeString(e.bstrHelpFile);
    }
    return true;
}

class Application : public IDispatch {
public:
    explicit Application(Kind kind) : kind_(kind) {
        AddServerReference();
        g_objectMade = true;
        DWORD size = GetEnvironmentVariableW(kRecordVariable, nullptr, 0);
        if (size > 0) {
            record_.resize(size);
            size = GetEnvironmentVariableW(kRecordVariable, record_.data(), size);
            record_.resize(size);
        }
        Record(record_, "created\t" + std::to_string(GetCurrentProcessId()));
    }
    virtual ~Application() {
        Record(record_, "released");
        DropServerReference();
    }
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&count_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&count_);
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr)
            *info = nullptr;
        return DISP_E_BADINDEX;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (names == nullptr || ids == nullptr || count == 0)
            return E_INVALIDARG;
        Record(record_, "lookup\t" + Utf8(names[0], static_cast<int>(std::wcslen(names[0]))));
        HRESULT result = S_OK;
        for (UINT i = 0; i < count; ++i) {
            // Names match in any letter case, as automation names do.
            const bool known = kind_ == Kind::Recording && i == 0 && _wcsicmp(names[0], L"do") == 0;
            ids[i] = known ? kDoDispId : DISPID_UNKNOWN;
            if (!known)
                result = DISP_E_UNKNOWNNAME;
        }
        return result;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT* argError) override {
        // Only the way MapInfo's "do" is meant to be called is accepted: a method call, one
        // positional string by value.
        if (kind_ != Kind::Recording || id != kDoDispId || flags != DISPATCH_METHOD)
            return DISP_E_MEMBERNOTFOUND;
        if (params == nullptr || params->cNamedArgs != 0)
            return DISP_E_NONAMEDARGS;
        if (params->cArgs != 1)
            return DISP_E_BADPARAMCOUNT;
        if (params->rgvarg[0].vt != VT_BSTR) {
            if (argError != nullptr)
                *argError = 0;
            return DISP_E_TYPEMISMATCH;
        }
        const BSTR text = params->rgvarg[0].bstrVal;
        const std::wstring statement(text == nullptr ? L"" : text, SysStringLen(text));
        Record(record_, "do\t" + Utf8(statement.data(), static_cast<int>(statement.size())));
        if (result != nullptr)
            VariantInit(result);

        if (Contains(statement, L"exitnow"))
            ExitProcess(3);
        if (FailOnCue(statement, info))
            return DISP_E_EXCEPTION;
        if (Contains(statement, L"exitafter") && g_host.exitRequested)
            g_host.exitRequested();
        return S_OK;
    }

private:
    LONG count_ = 1;
    Kind kind_;
    std::wstring record_;
};

class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(Kind kind) : kind_(kind) {}
    virtual ~ClassFactory() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&count_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&count_);
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        Application* object = new (std::nothrow) Application(kind_);
        if (object == nullptr)
            return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            AddServerReference();
        else
            DropServerReference();
        return S_OK;
    }

private:
    LONG count_ = 1;
    Kind kind_;
};

} // namespace

void SetHost(const Host& host) {
    g_host = host;
}

IClassFactory* NewClassFactory(Kind kind) {
    return new (std::nothrow) ClassFactory(kind);
}

} // namespace vantero::testserver
