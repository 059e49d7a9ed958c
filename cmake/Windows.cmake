# What the Windows build (the windows preset, cmake/mingw-w64.cmake) takes instead of the
# Linux libraries: the registry stands in for SQLite, the service manager for systemd, and
# GoogleTest is built from the sources Debian ships (/usr/src/googletest), which names its
# targets GTest::gtest and GTest::gtest_main as the installed package does.
set(CORVANE_QT OFF CACHE BOOL "The Qt console is not part of the Windows build" FORCE)

set(CORVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (libgtest-dev)")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${CORVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Windows 10 and later; Unicode (W) calls throughout, texts converted from UTF-8.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

# The layers and programs that the Windows build has so far; the rest need facilities that
# have no Win32 implementation yet.
set(CORVANE_WINDOWS_DIRS
    common/platform
    common/keys
    common/settings
    common/net
    common/protocol
    common/backup
    common/sync
    service
    console/lockkey
    console
    console/win32ui
    control
    admin
    tools
    tests
    bench
)
