# Helpers that turn a source folder into one library and one test program.
#
# tarno_module(NAME [DEPS lib...])
#   builds every *.cpp of the current folder except *_test.cpp and main.cpp into the static
#   library tarno_NAME, and every *_test.cpp into the test program NAME_test (when tests are on).
#   Test programs link GoogleTest, GoogleMock, the library itself and the shared fakes of
#   src/testing (linked once every folder is known, see tarno_link_testing).

set(TARNO_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wconversion -Wsign-conversion -Wnull-dereference
    -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)

# GCC 12 reports -Wrestrict inside libstdc++'s std::string when it inlines at -O2 (GCC bug
# 105329): a false alarm on code that only concatenates strings.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND TARNO_WARNINGS -Wno-restrict)
endif()

function(tarno_warnings target)
  target_compile_options(${target} PRIVATE ${TARNO_WARNINGS})
endfunction()

function(tarno_module name)
  cmake_parse_arguments(ARG "" "" "DEPS;TEST_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  list(FILTER sources EXCLUDE REGEX "(_test|/main)\\.cpp$")
  add_library(tarno_${name} STATIC ${sources})
  target_include_directories(tarno_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(tarno_${name} PUBLIC ${ARG_DEPS})
  tarno_warnings(tarno_${name})
  if(TARNO_TESTS AND tests)
    add_executable(${name}_test ${tests})
    target_link_libraries(${name}_test PRIVATE tarno_${name} ${ARG_TEST_DEPS} GTest::gmock
                          GTest::gtest GTest::gtest_main)
    if(NOT name STREQUAL "testing")
      set_property(GLOBAL APPEND PROPERTY TARNO_TEST_TARGETS ${name}_test)
    endif()
    tarno_warnings(${name}_test)
    gtest_discover_tests(${name}_test DISCOVERY_MODE PRE_TEST
                         WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
endfunction()

# Links the shared fakes into every test program; called once after all folders are added.
function(tarno_link_testing)
  if(TARGET tarno_testing)
    get_property(targets GLOBAL PROPERTY TARNO_TEST_TARGETS)
    foreach(target ${targets})
      target_link_libraries(${target} PRIVATE tarno_testing)
    endforeach()
  endif()
endfunction()
