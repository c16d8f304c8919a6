# Helpers shared by every layer's CMakeLists.

# Warnings are errors for our own code (not for GoogleTest).
function(orvik_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
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
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()
