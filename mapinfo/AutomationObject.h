#pragma once

// The late-bound automation object, as the link sees it whatever carries the calls (COM on Windows,
// the session bus on Linux, a fake in tests).

#include <memory>
#include <string>

namespace vantero {

class AutomationObject {
public:
    virtual ~AutomationObject() = default;
    // Calls the method by name, as a method (not a property), with one string argument, and returns
    // when the server has finished. Throws ServerError or AutomationError.
    virtual void callMethod(const std::string& method, const std::string& argument) = 0;
};

// Creates the object registered under a programmatic identifier; throws AutomationError when there
// is none or it cannot be started.
class AutomationServerFactory {
public:
    virtual ~AutomationServerFactory() = default;
    virtual std::unique_ptr<AutomationObject> createObject(const std::string& progId) = 0;
};

} // namespace vantero
