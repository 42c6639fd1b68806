# The Windows compile check builds against this machine's own Qt: Qt's headers are the same for
# every platform (they tell the platforms apart themselves), and its moc and rcc run here. Nothing
# is linked, so its libraries, built for this machine, never matter. Where that Qt lies is asked
# of its qtpaths.
find_program(VANTERO_QTPATHS NAMES qtpaths6 qtpaths NO_CMAKE_FIND_ROOT_PATH REQUIRED)
foreach(query QT_HOST_PREFIX QT_HOST_LIBS)
    execute_process(COMMAND ${VANTERO_QTPATHS} --query ${query} OUTPUT_VARIABLE ${query}
                    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set(Qt6_DIR "${QT_HOST_LIBS}/cmake/Qt6" CACHE PATH "This machine's Qt, for its headers" FORCE)
# Qt's own way of building for another platform: the tools come from the host's Qt.
set(QT_HOST_PATH "${QT_HOST_PREFIX}" CACHE PATH "This machine's Qt, for moc and rcc" FORCE)
set(QT_HOST_PATH_CMAKE_DIR "${QT_HOST_LIBS}/cmake" CACHE PATH "" FORCE)
# Qt's packages lie outside the MinGW root that the toolchain keeps packages to.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Found once for the whole build, so that the stand-in import libraries below hold everywhere.
set(CMAKE_FIND_PACKAGE_TARGETS_GLOBAL ON)
find_package(Qt6 REQUIRED COMPONENTS Widgets)
# A Windows target that uses a shared library needs its import library, though nothing is linked
# here: the library itself stands in for it.
foreach(module Core Gui Widgets)
    get_target_property(configurations Qt6::${module} IMPORTED_CONFIGURATIONS)
    foreach(configuration ${configurations})
        get_target_property(location Qt6::${module} IMPORTED_LOCATION_${configuration})
        set_target_properties(Qt6::${module} PROPERTIES IMPORTED_IMPLIB_${configuration} "${location}")
    endforeach()
endforeach()
# Qt's platform definitions for MinGW in place of this machine's own.
get_target_property(includes Qt6::Platform INTERFACE_INCLUDE_DIRECTORIES)
list(TRANSFORM includes REPLACE "/mkspecs/[^/]+$" "/mkspecs/win32-g++")
set_target_properties(Qt6::Platform PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${includes}")
