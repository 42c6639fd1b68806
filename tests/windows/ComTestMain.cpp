// The link and folder tests call COM from the main thread, as the program does: one
// single-threaded apartment for the whole run.

#include <gtest/gtest.h>

#include <windows.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
