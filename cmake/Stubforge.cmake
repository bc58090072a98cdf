# Shared helpers for the project's targets.

# Our own code builds with every warning on, and as an error in tests and CI
# (STUBFORGE_WERROR), so a newer compiler's new warning never stops a user's
# build; third-party headers come in as system includes and are not held to it.
# A name that hides another (-Wshadow) and a polymorphic class deleted through
# a base without a virtual destructor (-Wnon-virtual-dtor) count too.
function(stubforge_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor $<$<BOOL:${STUBFORGE_WERROR}>:-Werror>)
endfunction()

# A library of ours: sources listed one per line, a public include/
# directory when it has one, warnings on.
function(stubforge_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  endif()
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
  stubforge_warnings(${name})
endfunction()

# What every test process gets in its environment. Sanitizer builds also
# carry the leak suppressions, so plain ctest runs there as ./dev test does.
set(STUBFORGE_TEST_ENVIRONMENT "STUBFORGE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
if(STUBFORGE_SANITIZE)
  list(APPEND STUBFORGE_TEST_ENVIRONMENT
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/lsan-suppressions.txt")
endif()

# One gtest binary per library, registered with ctest.
function(stubforge_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  # Header-only helpers shared by every test binary.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  stubforge_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${STUBFORGE_TEST_ENVIRONMENT}")
endfunction()

# build/share/stubforge holds links to each entry of resources/ plus the
# generated Info.plist and analytics options file, the same shape as an
# installed share/stubforge.
function(stubforge_stage_resources)
  set(staged ${CMAKE_BINARY_DIR}/share/stubforge)
  file(MAKE_DIRECTORY ${staged})
  file(GLOB entries CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/resources
       ${PROJECT_SOURCE_DIR}/resources/*)
  foreach(entry ${entries})
    if(NOT EXISTS ${staged}/${entry})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/resources/${entry} ${staged}/${entry} SYMBOLIC)
    endif()
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/Info.plist.in ${staged}/Info.plist @ONLY)
  set(STUBFORGE_STAGED_INFO_PLIST ${staged}/Info.plist PARENT_SCOPE)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/LumenService-Info.plist.in ${staged}/LumenService-Info.plist @ONLY)
  set(STUBFORGE_STAGED_OPTIONS_PLIST ${staged}/LumenService-Info.plist PARENT_SCOPE)
endfunction()
