# Cross-compiling for Windows with Debian's MinGW-w64, for the compile check of the core and the COM
# client. The including file names the architecture in VANTERO_MINGW_ARCH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VANTERO_MINGW_ARCH})
set(CMAKE_C_COMPILER ${VANTERO_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTERO_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${VANTERO_MINGW_ARCH}-w64-mingw32-windres)
# The target's libraries and headers lie beside the compiler's folder, as MinGW-w64 installs them.
find_program(VANTERO_MINGW_CXX ${CMAKE_CXX_COMPILER} REQUIRED)
get_filename_component(VANTERO_MINGW_BIN "${VANTERO_MINGW_CXX}" DIRECTORY)
get_filename_component(CMAKE_FIND_ROOT_PATH "${VANTERO_MINGW_BIN}/../${VANTERO_MINGW_ARCH}-w64-mingw32"
                       ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
