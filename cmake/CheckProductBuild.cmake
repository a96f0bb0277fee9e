# Configures a product-only build (no tests) into BINARY with GoogleTest and
# Google Benchmark made unfindable, and fails when the configuration needs
# them or when a product target links a test-only library.
#   cmake -DSOURCE=<source dir> -DBINARY=<scratch dir> -P CheckProductBuild.cmake
file(REMOVE_RECURSE "${BINARY}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${BINARY}" -G Ninja
          -DPORTELLE_BUILD_TESTS=OFF
          -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
  RESULT_VARIABLE configured OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT configured EQUAL 0)
  message(FATAL_ERROR "A build without tests does not configure:\n${output}")
endif()
file(READ "${BINARY}/build.ninja" rules)
foreach(program portelle portelle-import portelle-examine)
  if(NOT rules MATCHES "build bin/${program}:")
    message(FATAL_ERROR "The build without tests lacks ${program}")
  endif()
endforeach()
string(REGEX MATCHALL "[A-Za-z_]*(test_support|test_peer|test_tools|_testing|test_module|gtest|gmock|libbenchmark)[A-Za-z_]*"
       test_code "${rules}")
if(test_code)
  list(REMOVE_DUPLICATES test_code)
  message(FATAL_ERROR "The build without tests still refers to test code: ${test_code}")
endif()
file(REMOVE_RECURSE "${BINARY}")
