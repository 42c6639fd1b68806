#pragma once

// What a pack is to do to a table: its graphic objects, its rows, or both. Both is what the pack
// options dialog starts with and what a pack asked for without options does.

namespace vantero {

struct PackParts {
    bool graphic = true; // the .MAP without deleted objects and dead space
    bool data = true;    // the rows without the deleted ones, renumbered

    bool operator==(const PackParts&) const = default;
};

} // namespace vantero
