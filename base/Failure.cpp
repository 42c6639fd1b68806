#include "base/Failure.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vantero {

std::string systemErrorText(int error) {
    return std::generic_category().message(error);
}

#ifdef _WIN32
std::string lastWindowsErrorText() {
    return std::system_category().message(static_cast<int>(GetLastError()));
}
#endif

} // namespace vantero
