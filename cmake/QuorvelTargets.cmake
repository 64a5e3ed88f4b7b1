# Shared build rules: warnings, sanitizers, GoogleTest for the cross build, the Wine
# test bed fixtures and quorvel_add_test().

set(QUORVEL_BED_DIR ${CMAKE_SOURCE_DIR}/tests/bed)
set(QUORVEL_WINE_ROOT ${CMAKE_BINARY_DIR}/wine)

function(quorvel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion)
  if(QUORVEL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(QUORVEL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

macro(quorvel_setup_gtest_cross)
  if(NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    # GoogleTest's own build defines the GTest:: aliases.
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  endif()
endmacro()

# The test bed: one booted template prefix per run (fixture "WineBed"), a fresh prefix
# copy and an Xvfb per test, everything shut down by the cleanup fixture.
macro(quorvel_setup_wine_bed)
  add_test(NAME bed.setup COMMAND ${QUORVEL_BED_DIR}/wine-bed.sh boot ${QUORVEL_WINE_ROOT})
  add_test(NAME bed.cleanup COMMAND ${QUORVEL_BED_DIR}/wine-bed.sh cleanup ${QUORVEL_WINE_ROOT})
  set_tests_properties(bed.setup PROPERTIES FIXTURES_SETUP WineBed TIMEOUT 180 RUN_SERIAL ON)
  set_tests_properties(bed.cleanup PROPERTIES FIXTURES_CLEANUP WineBed TIMEOUT 60)
endmacro()

# quorvel_add_test(<name> SOURCES <files...> [LIBS <libs...>] [TIMEOUT <seconds>]
#                  [NO_MAIN] [LABELS <labels...>])
# A GoogleTest executable registered as one CTest test. In the Windows build it runs
# under Wine (through the emulator wrapper) in a prefix of its own, with the test
# bed's X display, so tests never see each other's kernel objects or windows.
function(quorvel_add_test name)
  cmake_parse_arguments(T "NO_MAIN" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  quorvel_warnings(${name})
  if(T_NO_MAIN)
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(QUORVEL_WIN64)
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED WineBed
      ENVIRONMENT "QUORVEL_WINE_ROOT=${QUORVEL_WINE_ROOT};QUORVEL_TEST_NAME=${name}")
  endif()
endfunction()
