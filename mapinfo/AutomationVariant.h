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

    void assign(std::unique_ptr<AutomationObject> object) { m_object = std::move(object); }
    void clear() { m_object.reset(); }
    bool isEmpty() const { return m_object == nullptr; }
    // Throws AutomationError "Variant does not reference an automation object" when empty.
    AutomationObject& object() const;

private:
    std::unique_ptr<AutomationObject> m_object;
};

} // namespace vantero
