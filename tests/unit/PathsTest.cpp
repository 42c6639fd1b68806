#include "base/Paths.h"

#include <gtest/gtest.h>

namespace {

// The folder a saved file is written beside, and the file's name, as the program splits paths.
TEST(Paths, SplitIntoFolderAndName) {
    const char* const cases[][3] = {
        // the path, its folder, its name
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
    for (const auto& [path, folder, name] : cases) {
        EXPECT_EQ(vantero::folderOf(path), folder) << path;
        EXPECT_EQ(vantero::fileNameOf(path), name) << path;
    }
}

} // namespace
