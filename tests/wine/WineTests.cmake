# The end-to-end suite once more, against the Windows executable run under
# Wine (included from tests/CMakeLists.txt when VOKT_WINDOWS_EXE is set).
# Every test here needs the "wine" fixture, which chooses the executable:
# the shipped 32-bit one in a win32 prefix where a 32-bit program runs, else
# the 64-bit build (VOKT_WINDOWS64_EXE) in a win64 prefix under wine64. It
# keeps one prefix of each kind per build tree and one persistent wineserver
# for the run, stopped by the cleanup test.

find_program(VOKT_WINE wine REQUIRED)
find_program(VOKT_WINESERVER wineserver REQUIRED)
find_program(VOKT_WINE64 wine64 PATHS /usr/lib/wine /usr/lib64/wine)
if(NOT VOKT_WINE64)
  set(VOKT_WINE64 "")
endif()
find_program(VOKT_OBJDUMP32 i686-w64-mingw32-objdump REQUIRED)

set(VOKT_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
set(VOKT_WINE_DIR "${CMAKE_CURRENT_BINARY_DIR}/wine")
set(VOKT_WINE_LAUNCHER "${VOKT_WINE_DIR}/wine-run.sh")
set(script_permissions OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(VOKT_WINE_CHOICE "${VOKT_WINE_DIR}/choice")  # written by wine-prefix.sh
foreach(script wine-run.sh wine-prefix.sh wine-stop.sh)
  configure_file(wine/${script}.in "${VOKT_WINE_DIR}/${script}" @ONLY FILE_PERMISSIONS ${script_permissions})
endforeach()

add_test(NAME wine.prefix_setup COMMAND "${VOKT_WINE_DIR}/wine-prefix.sh")
set_tests_properties(wine.prefix_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)
add_test(NAME wine.server_stop COMMAND "${VOKT_WINE_DIR}/wine-stop.sh")
set_tests_properties(wine.server_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# The zip that the Windows build makes beside the executable.
get_filename_component(VOKT_WINDOWS_BUILD_DIR "${VOKT_WINDOWS_EXE}" DIRECTORY)
set(VOKT_WINDOWS_ZIP "${VOKT_WINDOWS_BUILD_DIR}/vokt-${PROJECT_VERSION}-win32.zip")

# Tests that compare the two builds, and the zip.
add_executable(vokt_wine_tests
  e2e/harness.cpp
  wine/windows_build_test.cpp
)
target_include_directories(vokt_wine_tests PRIVATE e2e)
target_link_libraries(vokt_wine_tests PRIVATE GTest::gtest GTest::gtest_main)
target_compile_definitions(vokt_wine_tests PRIVATE
  VOKT_E2E_DEFAULT_BINARY="$<TARGET_FILE:vokt>"
  VOKT_CORPUS_DIR="${VOKT_CORPUS_DIR}"
  VOKT_WINDOWS_ZIP="${VOKT_WINDOWS_ZIP}"
  VOKT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  VOKT_CMAKE_COMMAND="${CMAKE_COMMAND}"
  VOKT_OBJDUMP32="${VOKT_OBJDUMP32}"
  VOKT_WINE_CHOICE="${VOKT_WINE_CHOICE}")
add_dependencies(vokt_wine_tests vokt)

# gtest_discover_tests flattens its PROPERTIES, so a two-entry ENVIRONMENT
# would be split: the binary goes in ENVIRONMENT, the launcher in
# ENVIRONMENT_MODIFICATION, one value each. The binary is the fixture's copy
# of the executable it chose. A test that only makes sense for the 32-bit
# program reports GTEST_SKIP where the 64-bit one runs, and CTest counts it
# as skipped.
set(wine_test_properties
  TIMEOUT 300
  FIXTURES_REQUIRED wine
  ENVIRONMENT "VOKT_E2E_BINARY=${VOKT_WINE_DIR}/vokt.exe"
  ENVIRONMENT_MODIFICATION "VOKT_E2E_LAUNCHER=set:${VOKT_WINE_LAUNCHER}"
  SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
gtest_discover_tests(vokt_e2e_tests TEST_PREFIX "wine." DISCOVERY_TIMEOUT 60 PROPERTIES ${wine_test_properties})
gtest_discover_tests(vokt_wine_tests TEST_PREFIX "wine." DISCOVERY_TIMEOUT 60 PROPERTIES ${wine_test_properties})
