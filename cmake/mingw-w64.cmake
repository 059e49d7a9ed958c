# Cross-builds the Windows programs with mingw-w64 (posix threads, so std::thread works),
# linked statically so that the .exe files need no mingw DLLs on the target. Tests run
# under Wine through scripts/wine-run.sh (CMAKE_CROSSCOMPILING_EMULATOR), which ctest and
# gtest_discover_tests use as they would run a native test.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries cross-built by scripts/setup-windows.sh (libsodium) live under this prefix.
set(CORVANE_WINDOWS_DEPS /opt/corvane-mingw64 CACHE PATH "Prefix of the cross-built libraries")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${CORVANE_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Without this, pkg-config would hand out the build machine's own libraries.
set(ENV{PKG_CONFIG_LIBDIR} ${CORVANE_WINDOWS_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
