#pragma once

#include "tablefiles/DataFile.h"
#include "tablefiles/FileIo.h"

#include <cstdint>
#include <vector>

namespace vantero::tablefiles::detail {

// Writes a new .IND whose every index holds the same keys in the same order, each pointing at
// its row's new number, without the entries of removed rows. The keys are taken as they are
// stored, so no knowledge of the field types or of the table's character set is needed.
void remapIndexFile(const InputFile& ind, const RowMap& rows, OutputFile& out);

} // namespace vantero::tablefiles::detail
