# Cross build for Windows x64 with Debian's mingw-w64, posix-threads flavour
# (the win32 flavour has no std::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(OMBER_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OMBER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OMBER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OMBER_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${OMBER_MINGW_TRIPLE}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${OMBER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Test programs are run under wine by scripts/test-windows, not at build time.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
# Every program and DLL carries its own C++ runtime, libgcc and winpthread:
# nothing to ship or find beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)
