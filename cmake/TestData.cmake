# Real MapInfo tables written by other programs, read in place and never written: beside the
# checkout, or where the environment's VANTERO_TESTDATA says. The tests that need them skip without.
# Included by the program's tests and by the Windows tests' project of their own.
if(DEFINED ENV{VANTERO_TESTDATA})
    set(VANTERO_TESTDATA "$ENV{VANTERO_TESTDATA}" CACHE PATH "Folder of real MapInfo tables for the tests")
else()
    set(VANTERO_TESTDATA "${CMAKE_CURRENT_LIST_DIR}/../../shared/testdata/mapinfo" CACHE PATH
        "Folder of real MapInfo tables for the tests")
endif()
