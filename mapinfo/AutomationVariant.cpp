#include "mapinfo/AutomationVariant.h"

#include "mapinfo/AutomationError.h"

namespace vantero {

AutomationObject& AutomationVariant::object() const {
    if (!m_object)
        throw AutomationError("Variant does not reference an automation object");
    return *m_object;
}

} // namespace vantero
