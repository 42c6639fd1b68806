#pragma once

// The order of folder names on Linux: the user's language's collation, case aside, as the desktop's
// own toolkit sorts them.

#include <string>
#include <vector>

namespace vantero {

std::vector<std::string> inNameOrder(std::vector<std::string> names);

} // namespace vantero
