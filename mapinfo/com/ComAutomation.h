#pragma once

// The automation link on Windows: plain COM late binding to MapInfo Professional, no Qt, so that it
// builds with MinGW as well as with the Windows SDK.

#include "mapinfo/AutomationObject.h"

#include <string>

struct IDispatch;

namespace vantero {

class ComAutomationObject : public AutomationObject {
public:
    explicit ComAutomationObject(IDispatch* dispatch); // takes over the reference
    ~ComAutomationObject() override;
    ComAutomationObject(const ComAutomationObject&) = delete;
    ComAutomationObject& operator=(const ComAutomationObject&) = delete;

    // The name is looked up on every call, as late binding does, and the argument goes over as
    // one BSTR made from the ANSI code page.
    void callMethod(const std::string& method, const std::string& argument) override;

private:
    IDispatch* m_dispatch;
};

// Creates the object of a ProgID, in-process or as a local server. COM must be initialised on the
// calling thread (the application object does it).
class ComAutomationFactory : public AutomationServerFactory {
public:
    std::unique_ptr<AutomationObject> createObject(const std::string& progId) override;
};

// The system's text for an HRESULT, or "" when it has none.
std::string systemMessage(std::uint32_t code);

} // namespace vantero
