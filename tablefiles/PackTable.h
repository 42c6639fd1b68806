#pragma once

#include "base/PackParts.h"

#include <functional>
#include <stdexcept>
#include <string>

namespace vantero::tablefiles {

// Raised for every refusal and failure. The message names the file concerned and is meant for the
// run log as it stands. When it is raised the table's files are as they were before the call.
struct PackError : std::runtime_error {
    using runtime_error::runtime_error;
};

// How a .tab stores its rows. Only Native tables (and dBase tables, for their data) are packed.
// NativeX is the extended native format of MapInfo 15.2 and later.
enum class TableStorage { Native, Dbf, Raster, View, Seamless, Linked, NativeX, Other };

// Reads the .tab text. Throws PackError for a path that is not a readable MapInfo table.
TableStorage readTableStorage(const std::string& tabPath);

// The .tab's text as it is. Throws PackError for a path that is not a readable file of a size a
// .tab can have.
std::string readTabText(const std::string& tabPath);

// Packs one table in place: the new files are written beside the old ones, made durable, then
// swapped in under a journal, so that a process killed at any moment leaves a table that
// RecoverInterruptedPack turns back into either the old table or the packed one. checkpoint, if
// given, is called with an increasing step number at many points of the work. An exception it
// throws stops the pack and reaches the caller; thrown once the swap has begun, it waits until
// the swap is complete, so the caller finds either the old table or the packed one.
void packTable(const std::string& tabPath, PackParts options,
               const std::function<void(int step)>& checkpoint = {});

// Finishes a swap that a killed pack had committed, or removes the leftovers of one it had not.
// Cheap when there is nothing to do; call it before a table is opened.
void recoverInterruptedPack(const std::string& tabPath);

} // namespace vantero::tablefiles
