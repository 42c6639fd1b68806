#pragma once

// The copy behind the tree's paste and drop: files and folders copied into a folder by chunks, so
// that a long copy can show how far it is and be cancelled. Nothing is ever overwritten, and a copy
// that fails or is cancelled leaves nothing of itself behind. Plain C++, tested without widgets.

#include <cstdint>
#include <filesystem>
#include <functional>

namespace vantero {

// Told the bytes copied so far and the total after each chunk; false cancels the copy.
using CopyProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// The bytes of the regular files under source (source itself, when it is one).
std::uint64_t bytesToCopy(const std::filesystem::path& source);

enum class CopyResult { Done, Cancelled };

// Copies source to destination, which must not exist: folders with their modes, regular files
// chunk by chunk, symbolic links as links. Throws std::runtime_error with a message naming the
// file on any failure; destination is then removed again, as it is on Cancelled.
CopyResult copyInto(const std::filesystem::path& source, const std::filesystem::path& destination,
                    const CopyProgress& progress);

} // namespace vantero
