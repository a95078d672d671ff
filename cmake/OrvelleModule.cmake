# One static library per folder, its sources globbed so that adding a unit
# never means editing a neighbour's build file; its tests in one executable.
function(orvelle_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# The properties of every test: a time limit, the sanitizers' suppressions,
# and a cache folder inside the build, so that what the engine keeps about
# tables it checked never lands in the user's own cache. Each value is one
# word: gtest_discover_tests cannot pass a list inside a property.
function(orvelle_test_properties out)
  set(properties TIMEOUT 300 ENVIRONMENT_MODIFICATION "XDG_CACHE_HOME=set:${PROJECT_BINARY_DIR}/test-cache")
  if(SANITIZE STREQUAL "address")
    list(APPEND properties ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp")
  elseif(SANITIZE STREQUAL "thread")
    list(APPEND properties ENVIRONMENT
         "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp ignore_noninstrumented_modules=1")
  endif()
  set(${out} "${properties}" PARENT_SCOPE)
endfunction()

function(orvelle_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name}_tests ${sources})
  target_link_libraries(${name}_tests PRIVATE ${name} ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  orvelle_test_properties(test_properties)
  # Cases are named by their index: a case's printed value is often the raw
  # bytes of a structure of pointers, which differ from build to build.
  gtest_discover_tests(${name}_tests DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES ${test_properties})
endfunction()
