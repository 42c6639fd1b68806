// The in-process server: the same object, created in the caller's own process and apartment, so
// that the caller meets its exception information directly, deferred fill-in included, with no
// marshalling in between.

#include "TestServer.h"

using namespace vantero::testserver;

namespace {

struct Attach {
    Attach() { SetHost({true, nullptr, nullptr}); }
} g_attach;

} // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, kInProcClsid))
        return CLASS_E_CLASSNOTAVAILABLE;
    IClassFactory* factory = NewClassFactory(Kind::Recording);
    if (factory == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return ServerReferences() == 0 ? S_OK : S_FALSE;
}
