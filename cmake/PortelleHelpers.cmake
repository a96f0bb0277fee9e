# One helper per kind of target, so that warning flags, sanitizer flags and the
# include root are set in one place.

set(PORTELLE_WARNINGS
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wimplicit-fallthrough -Wcast-qual -Wformat=2 -Wundef)
# GCC 12 reports overlaps that cannot happen inside std::string's inlined
# copies at -O3 (GCC bugs 105329, 105651), which breaks Release builds.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND PORTELLE_WARNINGS -Wno-restrict)
endif()

function(portelle_apply_common target)
  target_compile_options(${target} PRIVATE ${PORTELLE_WARNINGS})
  if(PORTELLE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(PORTELLE_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# Test-only targets (TESTONLY: test doubles, test helpers, programs that only
# tests start) are left out of a build without tests (PORTELLE_BUILD_TESTS
# OFF), which then needs neither GoogleTest nor Google Benchmark; no product
# target may depend on one. RUNS_WITH names targets a target loads or starts
# at run time: they are built first, without being linked.
function(portelle_skip_testonly out testonly)
  if(testonly AND NOT PORTELLE_BUILD_TESTS)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

function(portelle_runs_with target)
  if(ARGN)
    add_dependencies(${target} ${ARGN})
  endif()
endfunction()

# portelle_library(NAME name SOURCES ... [DEPS ...] [PUBLIC_DEPS ...] [TESTONLY])
function(portelle_library)
  cmake_parse_arguments(ARG "TESTONLY" "NAME" "SOURCES;DEPS;PUBLIC_DEPS" ${ARGN})
  portelle_skip_testonly(skip ${ARG_TESTONLY})
  if(skip)
    return()
  endif()
  add_library(${ARG_NAME} STATIC ${ARG_SOURCES})
  target_include_directories(${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
  target_link_libraries(${ARG_NAME} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_DEPS})
  portelle_apply_common(${ARG_NAME})
endfunction()

# portelle_executable(NAME name SOURCES ... [DEPS ...] [RUNS_WITH ...] [TESTONLY])
function(portelle_executable)
  cmake_parse_arguments(ARG "TESTONLY" "NAME;OUTPUT_NAME" "SOURCES;DEPS;RUNS_WITH" ${ARGN})
  portelle_skip_testonly(skip ${ARG_TESTONLY})
  if(skip)
    return()
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS})
  if(ARG_OUTPUT_NAME)
    set_target_properties(${ARG_NAME} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
  portelle_apply_common(${ARG_NAME})
  portelle_runs_with(${ARG_NAME} ${ARG_RUNS_WITH})
endfunction()

# portelle_module(NAME name SOURCES ... [DEPS ...] [TESTONLY]): a shared object
# loaded at run time by name (X.so on Linux for what is X.dll on Windows),
# without the "lib" prefix CMake would add.
function(portelle_module)
  cmake_parse_arguments(ARG "TESTONLY" "NAME;OUTPUT_NAME" "SOURCES;DEPS" ${ARGN})
  portelle_skip_testonly(skip ${ARG_TESTONLY})
  if(skip)
    return()
  endif()
  add_library(${ARG_NAME} MODULE ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS})
  set_target_properties(${ARG_NAME} PROPERTIES PREFIX "" C_VISIBILITY_PRESET hidden
                                               CXX_VISIBILITY_PRESET hidden)
  if(ARG_OUTPUT_NAME)
    set_target_properties(${ARG_NAME} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
  portelle_apply_common(${ARG_NAME})
endfunction()

# portelle_test(NAME name SOURCES ... [DEPS ...] [RUNS_WITH ...]): one
# GoogleTest program, each of its tests registered with CTest. Always test-only.
function(portelle_test)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;DEPS;RUNS_WITH" ${ARGN})
  if(NOT PORTELLE_BUILD_TESTS)
    return()
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
  portelle_apply_common(${ARG_NAME})
  if(CMAKE_CROSSCOMPILING)
    # Under Wine every start of a program costs a second or so: one CTest test
    # per program. The program folder is given as a Windows path (drive Z: is
    # the Unix root under Wine).
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
    set_tests_properties(${ARG_NAME} PROPERTIES
                         ENVIRONMENT "PORTELLE_BIN_DIR=Z:${CMAKE_BINARY_DIR}/bin")
  else()
    gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST
                         PROPERTIES ENVIRONMENT "PORTELLE_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
  endif()
  portelle_runs_with(${ARG_NAME} ${ARG_RUNS_WITH})
endfunction()

# portelle_benchmark(NAME name SOURCES ... [DEPS ...] [RUNS_WITH ...]): a
# Google Benchmark program. Benchmarks are built with everything else but
# never run by CTest; "./run bench" runs them. They use the test helpers, so
# they are test-only too.
function(portelle_benchmark)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;DEPS;RUNS_WITH" ${ARGN})
  if(NOT PORTELLE_BENCHMARKS OR NOT PORTELLE_BUILD_TESTS)
    return()
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} benchmark::benchmark)
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
  set_target_properties(${ARG_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  portelle_apply_common(${ARG_NAME})
  portelle_runs_with(${ARG_NAME} ${ARG_RUNS_WITH})
endfunction()
