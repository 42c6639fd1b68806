#include "mapinfo/AutomationVariant.h"

#include "mapinfo/AutomationError.h"

namespace vantero {

AutomationObject& AutomationVariant::Object() const {
    if (!object_)
        throw AutomationError("Variant does not reference an automation object");
    return *object_;
}

} // namespace vantero
