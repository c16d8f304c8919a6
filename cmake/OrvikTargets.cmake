# Helpers shared by every layer's CMakeLists.

# Warnings are errors for our own code (not for GoogleTest). GCC's warnings that come from its optimiser's
# data-flow analysis (restrict, stringop-*, array-bounds, maybe-uninitialized, dangling-pointer) stay
# warnings in optimised builds: they change with the compiler's version and its inlining, and a user's or
# a packager's Release build must not fail on a false positive. The Debug builds keep them as errors.
option(ORVIK_WARNINGS_AS_ERRORS "Treat compiler warnings in the project's own code as errors" ON)
set(ORVIK_OPTIMISER_WARNINGS restrict stringop-overflow stringop-overread stringop-truncation array-bounds
    maybe-uninitialized dangling-pointer)
function(orvik_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(ORVIK_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      foreach(warning ${ORVIK_OPTIMISER_WARNINGS})
        target_compile_options(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-Wno-error=${warning}>)
      endforeach()
    endif()
  endif()
endfunction()

# orvik_library(name SOURCES...): a static library of one layer, with the repository root on the include
# path, so headers are included as "layer/Header.h" (generated ones, such as base/Version.h, too).
function(orvik_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
  orvik_warnings(${name})
endfunction()

# orvik_test(name SOURCES... LIBS libs...): one GoogleTest executable, registered as one test.
function(orvik_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} orvik_test_fixtures GTest::gmock GTest::gtest_main)
  orvik_warnings(${name})
  # A fixture in an unnamed namespace is the base of its tests' classes; GCC warns about that when the
  # file is part of a batch of the unity build, where it is not the main file.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${name} PRIVATE -Wno-subobject-linkage)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  # AddressSanitizer holds 256 MiB of freed memory by default; the crash loops fork the test process
  # thousands of times, and every fork copies the page tables of what it holds.
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "ASAN_OPTIONS=quarantine_size_mb=16")
endfunction()
