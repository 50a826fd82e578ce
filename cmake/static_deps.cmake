# zlib and zstd for the builds that ship them inside the binaries: Windows
# (static zlib from Debian's libz-mingw-w64-dev) and universal macOS (the
# system's zlib, which has both architectures). zstd is compiled from its
# sources (OMBER_ZSTD_SOURCE_DIR: the lib/ folder of a zstd release, which
# scripts/fetch-zstd unpacks) for the target's architectures. They take the
# names the Linux build gets from pkg-config and FindZLIB.

if(WIN32)
  find_library(OMBER_MINGW_ZLIB NAMES libz.a REQUIRED)
  find_path(OMBER_MINGW_ZLIB_INCLUDE zlib.h REQUIRED)
  add_library(ZLIB::ZLIB STATIC IMPORTED GLOBAL)
  set_target_properties(ZLIB::ZLIB PROPERTIES
    IMPORTED_LOCATION ${OMBER_MINGW_ZLIB}
    INTERFACE_INCLUDE_DIRECTORIES ${OMBER_MINGW_ZLIB_INCLUDE})
else()
  find_package(ZLIB REQUIRED)
endif()

set(OMBER_ZSTD_SOURCE_DIR "" CACHE PATH "zstd's lib/ folder (sources), compiled into the build")
if(NOT EXISTS ${OMBER_ZSTD_SOURCE_DIR}/zstd.h)
  message(FATAL_ERROR "OMBER_ZSTD_SOURCE_DIR must name zstd's lib/ folder (scripts/fetch-zstd unpacks it)")
endif()
file(GLOB omber_zstd_sources
  ${OMBER_ZSTD_SOURCE_DIR}/common/*.c
  ${OMBER_ZSTD_SOURCE_DIR}/compress/*.c
  ${OMBER_ZSTD_SOURCE_DIR}/decompress/*.c)
add_library(omber_zstd STATIC ${omber_zstd_sources})
# Third-party code: its own warnings are not ours to judge.
target_compile_options(omber_zstd PRIVATE -w -O2)
target_compile_definitions(omber_zstd PRIVATE ZSTD_DISABLE_ASM=1 ZSTD_MULTITHREAD=0 XXH_NAMESPACE=ZSTD_)
# Visible to every target, as /usr/include is on Linux (tests include zstd.h).
include_directories(SYSTEM ${OMBER_ZSTD_SOURCE_DIR})
add_library(PkgConfig::ZSTD ALIAS omber_zstd)
