# zlib, minizip, libsodium, zstd, libdivsufsort and GoogleTest, all installed by scripts/setup (never copied in).
if(WIN32)
  # The import library would make the programs need a zlib1.dll that Windows does not have
  # (Wine does, which hides it in the tests).
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)

if(WIN32)
  # minizip built for mingw by scripts/setup from Debian's zlib source package.
  find_library(MINIZIP_LIBRARY NAMES minizip REQUIRED)
  find_path(MINIZIP_INCLUDE_DIR minizip/unzip.h REQUIRED)
  add_library(talv_minizip INTERFACE)
  target_link_libraries(talv_minizip INTERFACE ${MINIZIP_LIBRARY} ZLIB::ZLIB)
  target_include_directories(talv_minizip SYSTEM INTERFACE ${MINIZIP_INCLUDE_DIR})

  # libsodium built for mingw by scripts/setup from Debian's source package, static only.
  find_library(SODIUM_LIBRARY NAMES libsodium.a sodium REQUIRED)
  find_path(SODIUM_INCLUDE_DIR sodium.h REQUIRED)
  add_library(talv_sodium INTERFACE)
  target_link_libraries(talv_sodium INTERFACE ${SODIUM_LIBRARY})
  target_include_directories(talv_sodium SYSTEM INTERFACE ${SODIUM_INCLUDE_DIR})
  target_compile_definitions(talv_sodium INTERFACE SODIUM_STATIC)

  # zstd and libdivsufsort built for mingw by scripts/setup from Debian's source packages,
  # static only (the shipping check refuses any DLL Windows does not carry).
  find_library(ZSTD_LIBRARY NAMES libzstd.a REQUIRED)
  find_path(ZSTD_INCLUDE_DIR zstd.h REQUIRED)
  add_library(talv_zstd INTERFACE)
  target_link_libraries(talv_zstd INTERFACE ${ZSTD_LIBRARY})
  target_include_directories(talv_zstd SYSTEM INTERFACE ${ZSTD_INCLUDE_DIR})
  find_library(DIVSUFSORT_LIBRARY NAMES libdivsufsort.a REQUIRED)
  find_path(DIVSUFSORT_INCLUDE_DIR divsufsort.h REQUIRED)
  add_library(talv_divsufsort INTERFACE)
  target_link_libraries(talv_divsufsort INTERFACE ${DIVSUFSORT_LIBRARY})
  target_include_directories(talv_divsufsort SYSTEM INTERFACE ${DIVSUFSORT_INCLUDE_DIR})

  # Debian's googletest source tree, built with our cross compiler.
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
  add_library(talv_minizip INTERFACE)
  target_link_libraries(talv_minizip INTERFACE PkgConfig::MINIZIP ZLIB::ZLIB)
  pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
  add_library(talv_sodium INTERFACE)
  target_link_libraries(talv_sodium INTERFACE PkgConfig::SODIUM)
  pkg_check_modules(ZSTD REQUIRED IMPORTED_TARGET libzstd)
  add_library(talv_zstd INTERFACE)
  target_link_libraries(talv_zstd INTERFACE PkgConfig::ZSTD)
  pkg_check_modules(DIVSUFSORT REQUIRED IMPORTED_TARGET libdivsufsort)
  add_library(talv_divsufsort INTERFACE)
  target_link_libraries(talv_divsufsort INTERFACE PkgConfig::DIVSUFSORT)
  find_package(GTest REQUIRED)
endif()
