#include "base/Paths.h"

#include <gtest/gtest.h>

namespace {

// The folder a saved file is written beside, and the file's name, as the program splits paths.
TEST(Paths, SplitIntoFolderAndName) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
    };
    const Case cases[] = {
        {"run.log", ".", "run.log"},
        {"/run.log", "/", "run.log"},
        {"/data/city/run.log", "/data/city", "run.log"},
#ifdef _WIN32
        {"D:\\run.log", "D:\\", "run.log"}, // "D:" alone is that drive's current folder
        {"D:\\logs\\run.log", "D:\\logs", "run.log"},
        {"D:/logs/run.log", "D:/logs", "run.log"},
        {"\\\\server\\share\\run.log", "\\\\server\\share", "run.log"},
#endif
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vantero::folderOf(c.path), c.folder) << c.path;
        EXPECT_EQ(vantero::fileNameOf(c.path), c.name) << c.path;
    }
}

} // namespace
