#include "mapinfo/com/ComAutomation.h"

#include "base/WindowsText.h"
#include "mapinfo/AutomationError.h"
#include "mapinfo/ErrorText.h"

// Brings the COM and OLE Automation declarations with it.
#include <windows.h>

#include <cstdint>
#include <vector>

namespace vantero {
namespace {

std::uint32_t codeOf(HRESULT hr) {
    return static_cast<std::uint32_t>(hr);
}

std::string narrow(BSTR text) {
    return text == nullptr ? std::string() : toAnsi(std::wstring_view(text, SysStringLen(text)));
}

[[noreturn]] void throwComError(HRESULT hr) {
    std::string message = trimErrorText(systemMessage(codeOf(hr)));
    if (message.empty())
        message = oleErrorText(codeOf(hr));
    throw AutomationError(message, codeOf(hr));
}

// Owns one BSTR for the length of a call.
class Bstr {
public:
    explicit Bstr(const std::wstring& text)
        : m_value(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (m_value == nullptr)
            throwComError(E_OUTOFMEMORY);
    }
    ~Bstr() { SysFreeString(m_value); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return m_value; }

private:
    BSTR m_value;
};

} // namespace

std::string systemMessage(std::uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string message = toAnsi(std::wstring_view(buffer, length));
    LocalFree(buffer);
    return message;
}

ComAutomationObject::ComAutomationObject(IDispatch* dispatch) : m_dispatch(dispatch) {}

ComAutomationObject::~ComAutomationObject() {
    if (m_dispatch != nullptr)
        m_dispatch->Release();
}

void ComAutomationObject::callMethod(const std::string& method, const std::string& argument) {
    const std::wstring wideMethod = fromAnsi(method);
    LPOLESTR names[] = {const_cast<LPOLESTR>(wideMethod.c_str())};
    DISPID dispid = 0;
    HRESULT hr = m_dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (hr == DISP_E_UNKNOWNNAME)
        throw AutomationError(methodNotSupportedText(method), codeOf(hr));
    if (FAILED(hr))
        throwComError(hr);

    const Bstr text(fromAnsi(argument));
    VARIANTARG arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = text.get();
    DISPPARAMS params{&arg, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO info{};
    UINT argError = 0;
    hr = m_dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                            &result, &info, &argError);
    VariantClear(&result);
    if (hr == DISP_E_EXCEPTION) {
        // A server may leave the details to be filled in only when someone asks for them.
        // Over a marshaller that passes the address on as it is (Wine's does) it points into the
        // server's process, where calling it here would crash: only a function in a module
        // loaded in this process is called.
        HMODULE module = nullptr;
        if (info.pfnDeferredFillIn != nullptr &&
            GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                   GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCWSTR>(info.pfnDeferredFillIn), &module))
            info.pfnDeferredFillIn(&info);
        const std::string description = narrow(info.bstrDescription);
        const std::uint32_t code =
            info.scode != 0 ? static_cast<std::uint32_t>(info.scode) : codeOf(DISP_E_EXCEPTION);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        throw ServerError(serverErrorText(description, code, systemMessage), code);
    }
    if (FAILED(hr))
        throwComError(hr);
}

std::unique_ptr<AutomationObject> ComAutomationFactory::createObject(const std::string& progId) {
    const std::wstring wideProgId = fromAnsi(progId);
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(wideProgId.c_str(), &clsid);
    if (FAILED(hr))
        throwComError(hr);
    IDispatch* dispatch = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&dispatch));
    if (FAILED(hr))
        throwComError(hr);
    return std::make_unique<ComAutomationObject>(dispatch);
}

} // namespace vantero
