#include "base/TableKind.h"

namespace vantero {

const char* tableKindText(TableKind kind) {
    switch (kind) {
    case TableKind::Native:
        return "Native";
    case TableKind::Raster:
        return "Raster";
    case TableKind::Dbase:
        return "Dbase";
    case TableKind::Access:
        return "Access";
    case TableKind::Excel:
        return "Excel";
    case TableKind::Unknown:
        break;
    }
    return "Unknown";
}

} // namespace vantero
