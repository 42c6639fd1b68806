#pragma once

// The holder of the one automation object reference: empty until the connection, then the object
// until it is cleared at exit, which releases it.

#include "mapinfo/AutomationObject.h"

#include <memory>

namespace vantero {

class AutomationVariant {
public:
    AutomationVariant() = default;
    AutomationVariant(const AutomationVariant&) = delete;
    AutomationVariant& operator=(const AutomationVariant&) = delete;

    void Assign(std::unique_ptr<AutomationObject> object) { object_ = std::move(object); }
    void Clear() { object_.reset(); }
    bool IsEmpty() const { return object_ == nullptr; }
    // Throws AutomationError "Variant does not reference an automation object" when empty.
    AutomationObject& Object() const;

private:
    std::unique_ptr<AutomationObject> object_;
};

} // namespace vantero
