// The link tests call COM from the main thread, as the program does: one single-threaded
// apartment for the whole run.

#include <gtest/gtest.h>

#include <cstdio>

#include <windows.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "COM cannot be initialised\n");
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
