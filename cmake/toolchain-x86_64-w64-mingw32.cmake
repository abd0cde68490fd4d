# Tavix CallerID: cross toolchain for 64-bit Windows (MinGW-w64, posix threads), the test twin
# of the 32-bit build: the same sources, run under 64-bit Wine where 32-bit Wine does not run
# (scripts/test-windows falls back to it), and for developers who want it.
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
#         -DTAVIX_QT_PREFIX="$(scripts/build-windows-qt --arch x86_64 | tail -n1)"

set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TAVIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(TAVIX_WINE_ARCH win64)
set(TAVIX_MINGW_RUNTIME_NAMES libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
