#pragma once

// The one POSIX call the shared test helpers make that the Windows C runtime lacks: mkdtemp, with
// the same contract (the X's replaced in place, the folder created, nullptr on failure).

#ifdef _WIN32

#include <cstring>
#include <direct.h>
#include <io.h>

// _mktemp_s makes the name of this process's id and skips names that exist, so no other process
// takes it first.
inline char* mkdtemp(char* pattern) {
    return _mktemp_s(pattern, std::strlen(pattern) + 1) == 0 && _mkdir(pattern) == 0 ? pattern
                                                                                     : nullptr;
}

#endif
