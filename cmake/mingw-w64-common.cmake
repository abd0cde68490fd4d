# Tavix CallerID: what the MinGW-w64 toolchain files share; each sets its triple first.
#
# Expects TAVIX_MINGW_TRIPLE, TAVIX_WINE_ARCH (win32 or win64), TAVIX_MINGW_RUNTIME_NAMES (the
# runtime DLLs a dynamically linked program needs) and optionally TAVIX_MINGW_ARCH_FLAGS.
# Without TAVIX_QT_PREFIX (variable or environment) the newest complete Qt build for the triple
# in ${TAVIX_CACHE_DIR:-$HOME/.cache/tavix} is used.

set(CMAKE_SYSTEM_NAME Windows)
set(TAVIX_MINGW_ROOT /usr/${TAVIX_MINGW_TRIPLE})

# The -posix compilers: the win32 thread model has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${TAVIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVIX_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${TAVIX_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${TAVIX_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${TAVIX_MINGW_TRIPLE}-strip CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${TAVIX_MINGW_TRIPLE}-objdump CACHE FILEPATH "")

set(CMAKE_C_FLAGS_INIT "${TAVIX_MINGW_ARCH_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${TAVIX_MINGW_ARCH_FLAGS}")

# try_compile projects read this file again but see only the variables listed here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TAVIX_QT_PREFIX TAVIX_HOST_PACKAGES_ROOT)

if(NOT TAVIX_QT_PREFIX)
    if(DEFINED ENV{TAVIX_QT_PREFIX})
        set(TAVIX_QT_PREFIX "$ENV{TAVIX_QT_PREFIX}")
    else()
        set(_tavix_cache "$ENV{TAVIX_CACHE_DIR}")
        if(NOT _tavix_cache)
            set(_tavix_cache "$ENV{HOME}/.cache/tavix")
        endif()
        file(GLOB _tavix_stamps "${_tavix_cache}/qt6-${TAVIX_MINGW_TRIPLE}-*/.tavix-complete")
        set(_tavix_newest "")
        foreach(_stamp IN LISTS _tavix_stamps)
            if(NOT _tavix_newest OR "${_stamp}" IS_NEWER_THAN "${_tavix_newest}")
                set(_tavix_newest "${_stamp}")
            endif()
        endforeach()
        if(_tavix_newest)
            get_filename_component(TAVIX_QT_PREFIX "${_tavix_newest}" DIRECTORY)
        endif()
    endif()
endif()
set(TAVIX_QT_PREFIX "${TAVIX_QT_PREFIX}" CACHE PATH "Qt 6 built for ${TAVIX_MINGW_TRIPLE}")

# Header-only packages come from the build machine. Pointing the search at /usr would also
# offer its Linux libraries and put /usr/include (glibc's headers) on the include path, so
# only their headers and package files are mirrored into a root of their own.
if(NOT TAVIX_HOST_PACKAGES_ROOT)
    set(TAVIX_HOST_PACKAGES_ROOT "${CMAKE_BINARY_DIR}/tavix-host-packages")
endif()
foreach(_pkg IN ITEMS "nlohmann_json:nlohmann" "CLI11:CLI")
    string(REPLACE ":" ";" _pkg "${_pkg}")
    list(GET _pkg 0 _config)
    list(GET _pkg 1 _include)
    if(EXISTS "/usr/share/cmake/${_config}" AND EXISTS "/usr/include/${_include}")
        file(MAKE_DIRECTORY "${TAVIX_HOST_PACKAGES_ROOT}/include" "${TAVIX_HOST_PACKAGES_ROOT}/share/cmake")
        foreach(_link IN ITEMS "include/${_include}" "share/cmake/${_config}")
            if(NOT EXISTS "${TAVIX_HOST_PACKAGES_ROOT}/${_link}")
                file(CREATE_LINK "/usr/${_link}" "${TAVIX_HOST_PACKAGES_ROOT}/${_link}" SYMBOLIC)
            endif()
        endforeach()
    endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH ${TAVIX_MINGW_ROOT} ${TAVIX_HOST_PACKAGES_ROOT})
if(TAVIX_QT_PREFIX)
    list(APPEND CMAKE_FIND_ROOT_PATH "${TAVIX_QT_PREFIX}")
    list(APPEND CMAKE_PREFIX_PATH "${TAVIX_QT_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config would otherwise report the build machine's Linux libraries.
set(ENV{PKG_CONFIG_LIBDIR} "${TAVIX_MINGW_ROOT}/lib/pkgconfig")

# moc, rcc and uic run on the build machine: Debian's own Qt of the same version.
if(NOT DEFINED QT_HOST_PATH)
    set(QT_HOST_PATH /usr)
endif()
if(NOT DEFINED QT_HOST_PATH_CMAKE_DIR)
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()

# Where the MinGW runtime DLLs live; scripts/wine-run puts them on Wine's search path, and
# scripts/build-windows copies them beside the program.
set(TAVIX_MINGW_RUNTIME_DLLS "")
foreach(_dll IN LISTS TAVIX_MINGW_RUNTIME_NAMES)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll}
                    OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(_path "${_path}" REALPATH)
    list(APPEND TAVIX_MINGW_RUNTIME_DLLS "${_path}")
endforeach()

# A list: CTest and gtest_discover_tests pass the arguments on.
get_filename_component(_tavix_wine_run "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "/usr/bin/env;TAVIX_WINE_ARCH=${TAVIX_WINE_ARCH};${_tavix_wine_run}"
    CACHE STRING "Runs a Windows program under Wine")
