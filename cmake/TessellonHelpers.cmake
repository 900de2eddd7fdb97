# Warning flags, sanitizers and the test and benchmark helpers shared by every subdirectory.

include_guard(GLOBAL)
include(GoogleTest)

function(tessellon_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
  if(TESSELLON_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Sanitizers apply to the whole build rather than per target, so every object we compile (library,
# hosts, tests) is instrumented alike.
if(TESSELLON_SANITIZE STREQUAL "address;undefined")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TESSELLON_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread)
  add_link_options(-fsanitize=thread)
elseif(NOT TESSELLON_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TESSELLON_SANITIZE must be empty, \"address;undefined\" or \"thread\", "
                      "not \"${TESSELLON_SANITIZE}\"")
endif()

# tessellon_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>]
#                    [ONE_PROCESS])
# One GoogleTest executable; each of its tests becomes a ctest test with the given labels. With
# ONE_PROCESS the whole executable is one ctest test instead, for suites that share a server too
# slow to start once per test.
function(tessellon_add_test)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "ONE_PROCESS" "NAME" "SOURCES;LIBS;LABELS")
  if(NOT ARG_NAME OR NOT ARG_SOURCES)
    message(FATAL_ERROR "tessellon_add_test needs NAME and SOURCES")
  endif()

  add_executable(${ARG_NAME} ${ARG_SOURCES})
  tessellon_warnings(${ARG_NAME})
  # Tests may include anything: internal headers are reached relative to src/, support relative
  # to tests/.
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  if(TARGET tessellon_test_support)
    target_link_libraries(${ARG_NAME} PRIVATE tessellon_test_support)
  endif()

  # `make tsan` builds only what it runs.
  if("concurrency" IN_LIST ARG_LABELS)
    if(NOT TARGET concurrency_tests)
      add_custom_target(concurrency_tests)
    endif()
    add_dependencies(concurrency_tests ${ARG_NAME})
  endif()

  if(ARG_ONE_PROCESS)
    add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME})
    set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT 900 LABELS "${ARG_LABELS}")
    return()
  endif()
  gtest_discover_tests(${ARG_NAME} DISCOVERY_TIMEOUT 60 TEST_LIST ${ARG_NAME}_TESTS
                       PROPERTIES TIMEOUT 300)
  if(ARG_LABELS)
    # Several labels lose their list form on the way through gtest_discover_tests' PROPERTIES, so
    # they are set by a ctest include file that runs after discovery has listed the tests.
    set(labels_file "${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}_labels.cmake")
    file(WRITE "${labels_file}"
         "if(${ARG_NAME}_TESTS)\n"
         "  set_tests_properties(\${${ARG_NAME}_TESTS} PROPERTIES LABELS \"${ARG_LABELS}\")\n"
         "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${labels_file}")
  endif()
endfunction()

# tessellon_add_benchmark(NAME <name> SOURCES <files...> [LIBS <targets...>])
function(tessellon_add_benchmark)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "NAME" "SOURCES;LIBS")
  if(NOT ARG_NAME OR NOT ARG_SOURCES)
    message(FATAL_ERROR "tessellon_add_benchmark needs NAME and SOURCES")
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  tessellon_warnings(${ARG_NAME})
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} benchmark::benchmark)
endfunction()
