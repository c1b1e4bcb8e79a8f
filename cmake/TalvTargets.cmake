# Project-wide conventions for targets.
#
# Source files are found by name, so a new file needs no CMake edit:
#   launcher/<subsystem>/*.cpp         pure logic, no Windows header: built by every preset
#   launcher/<subsystem>/*_win.cpp     Windows effects: built by the Windows presets only
#   launcher/<subsystem>/*_posix.cpp   host stand-ins of platform hooks: native preset only
#   tests/<subsystem>/*_test.cpp       tests of pure logic: run natively and under Wine
#   tests/<subsystem>/*_win_test.cpp   tests of Windows code: run under Wine
#   tests/<subsystem>/fuzz_*.cpp       libFuzzer targets (native preset with TALV_FUZZ)
#   tests/helpers/*_win.cpp            small helper programs the Windows tests start

set(TALV_WARNINGS -Wall -Wextra -Werror)
set(TALV_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${TALV_BIN_DIR})

if(TALV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # Statically linked: the launcher ships as single executables.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()

function(talv_target target)
  target_compile_options(${target} PRIVATE ${TALV_WARNINGS})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
endfunction()

# Splits the .cpp files of DIR into pure, Windows and host lists (full paths).
function(talv_collect dir out_pure out_win out_posix)
  file(GLOB all CONFIGURE_DEPENDS ${dir}/*.cpp)
  set(pure ${all})
  list(FILTER pure EXCLUDE REGEX "_(win|posix)\\.cpp$")
  set(win ${all})
  list(FILTER win INCLUDE REGEX "_win\\.cpp$")
  set(posix ${all})
  list(FILTER posix INCLUDE REGEX "_posix\\.cpp$")
  set(${out_pure} ${pure} PARENT_SCOPE)
  set(${out_win} ${win} PARENT_SCOPE)
  set(${out_posix} ${posix} PARENT_SCOPE)
endfunction()

# A GoogleTest program registered as one ctest entry (ARGS: more arguments for it). Each run leaves an XML report in
# test-results/, which scripts/test sums into its closing line.
function(talv_add_gtest target)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;FIXTURES;LABELS;ARGS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  talv_target(${target})
  target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gtest_main)
  set(report ${CMAKE_BINARY_DIR}/test-results/${target}.xml)
  if(WIN32)
    set(report "Z:${report}")  # Wine maps the host's root to drive Z:
  endif()
  add_test(NAME ${target} COMMAND ${target} --gtest_output=xml:${report} ${T_ARGS})
  set_tests_properties(${target} PROPERTIES
    ENVIRONMENT "TALV_BIN_DIR=${TALV_BIN_DIR};TALV_SOURCE_DIR=${CMAKE_SOURCE_DIR};TALV_BUILD_DIR=${CMAKE_BINARY_DIR}"
    TIMEOUT 1800)  # the Windows suite under Wine runs close to a quarter of an hour
  if(T_FIXTURES)
    set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  if(T_LABELS)
    set_tests_properties(${target} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
