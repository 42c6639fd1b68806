#pragma once

// The one POSIX call the shared test helpers make that the Windows C runtime lacks: mkdtemp, made
// of _mktemp_s and _mkdir with the same contract (the X's replaced in place, the folder created,
// nullptr on failure).

#ifdef _WIN32

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <direct.h>
#include <io.h>

inline char* mkdtemp(char* pattern) {
    const std::size_t size = std::strlen(pattern) + 1;
    // _mktemp_s skips names that exist; another process may still take a name first, so the
    // pattern is restored and tried again.
    char* keep = static_cast<char*>(std::malloc(size));
    if (keep == nullptr)
        return nullptr;
    std::memcpy(keep, pattern, size);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::memcpy(pattern, keep, size);
        if (_mktemp_s(pattern, size) != 0)
            break;
        if (_mkdir(pattern) == 0) {
            std::free(keep);
            return pattern;
        }
        if (errno != EEXIST)
            break;
    }
    std::free(keep);
    return nullptr;
}

#endif
