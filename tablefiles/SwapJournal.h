#pragma once

#include "tablefiles/FileIo.h"

#include <string>
#include <vector>

namespace vantero::tablefiles::detail {

// The name a new file of the table is written under before it takes the old one's place.
std::string newFileName(const std::string& file);
std::string journalName(const std::string& tabPath);

struct Replacement {
    std::string target; // the table's file
    std::string fresh;  // its new version, newFileName(target), already durable
};

// Records the replacements in a durable journal, which is the moment the pack takes effect,
// then renames each new file over its old one and removes the journal.
void swapIn(const std::string& tabPath, const std::vector<Replacement>& replacements,
            Progress& progress);

// With the lock held: completes the renames of a journal left by a killed pack, or removes the
// new files of a pack that was killed before its journal was written.
void recoverLocked(const std::string& tabPath);

} // namespace vantero::tablefiles::detail
