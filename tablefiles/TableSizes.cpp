#include "tablefiles/TableSizes.h"

#include "tablefiles/PackTable.h"

namespace vantero::tablefiles {

TableSizes measureTable(const std::string& tabPath) {
    throw PackError(tabPath + ": its sizes are not read yet");
}

} // namespace vantero::tablefiles
