# Tavix CallerID: cross toolchain for 32-bit Windows (MinGW-w64, posix threads), the build that ships.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
#         -DTAVIX_QT_PREFIX="$(scripts/build-windows-qt --arch i686 | tail -n1)"
#
# Its programs and tests run under 32-bit Wine (scripts/wine32: the host's multiarch wine32 or an
# i386 root); only where this machine does not run it are the same sources tested as x86_64
# (toolchain-x86_64-w64-mingw32.cmake).

set(CMAKE_SYSTEM_PROCESSOR x86)
set(TAVIX_MINGW_TRIPLE i686-w64-mingw32)
set(TAVIX_WINE_ARCH win32)
set(TAVIX_MINGW_RUNTIME_NAMES libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll)
# SSE2 arithmetic as on x86-64, so floating-point results match the Linux build instead of
# carrying x87 excess precision; every 32-bit Windows that Qt 6 supports has SSE2.
set(TAVIX_MINGW_ARCH_FLAGS "-msse2 -mfpmath=sse")

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
