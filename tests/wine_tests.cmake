# Tests that run Windows programs of the Windows build tree under Wine, each in
# a session of its own (X server and Wine server started and ended around it).
# They share one Wine prefix and its services, so they never run side by side.
set(TARNWICK_WINE_SESSION ${CMAKE_SOURCE_DIR}/tests/bench/wine/session.sh)

function(add_wine_test name program)
  add_test(NAME ${name}
    COMMAND ${TARNWICK_WINE_SESSION} ${TARNWICK_WIN_BUILD_DIR} ${TARNWICK_WIN_BUILD_DIR}/${program} ${ARGN})
  set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine_prefix TIMEOUT 900 LABELS wine)
endfunction()

# Bench self-tests
add_wine_test(bench_services tests/bench/bench_services_tests.exe)
add_wine_test(bench_provider tests/bench/provider/bench_provider_tests.exe)

# End-to-end tests of tarnwick.exe
add_wine_test(e2e_switch tests/e2e/e2e_switch_tests.exe)
# The clang tree's tarnwick.exe (make build-clang, which make test runs first):
# the launch, "-auto" on and off, and a strict failure. A missing program
# fails the test, and so does a filter that no longer selects all three.
if(TARNWICK_CLANG_BUILD_DIR)
  add_wine_test(e2e_switch_clang tests/e2e/e2e_switch_tests.exe
    --gtest_filter=SwitchTest.InteractiveStartShowsTheNameAndFocusesStartWebWhenIisAdminIsStopped:SwitchTest.AutoSwitchesOnThenOffWithoutAUser:SwitchTest.AMissingServiceWithAutoIsReportedAndNothingIsTouched)
  set_tests_properties(e2e_switch_clang PROPERTIES
    ENVIRONMENT TARNWICK_EXE=${TARNWICK_CLANG_BUILD_DIR}/ui/tarnwick.exe
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 3 tests\\.")
endif()
# The x86 tree's tarnwick.exe, under Wine's 32-bit part on the same bench
# (its provider registered for 32-bit programs): the launch, "-auto" on and
# off, a strict failure, and the launch where Windows says it is XP.
if(TARNWICK_WIN_X86_BUILD_DIR)
  add_wine_test(e2e_switch_x86 tests/e2e/e2e_switch_tests.exe
    --gtest_filter=SwitchTest.InteractiveStartShowsTheNameAndFocusesStartWebWhenIisAdminIsStopped:SwitchTest.AutoSwitchesOnThenOffWithoutAUser:SwitchTest.AMissingServiceWithAutoIsReportedAndNothingIsTouched:SwitchTest.StartsWhereWindowsSaysItIsXp)
  set_tests_properties(e2e_switch_x86 PROPERTIES
    ENVIRONMENT "TARNWICK_EXE=${TARNWICK_WIN_X86_BUILD_DIR}/ui/tarnwick.exe;TARNWICK_WIN_X86_BUILD_DIR=${TARNWICK_WIN_X86_BUILD_DIR}"
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 4 tests\\.")
endif()
add_wine_test(e2e_sysinfo tests/e2e/e2e_sysinfo_tests.exe)
add_wine_test(e2e_about tests/e2e/e2e_about_tests.exe)
add_wine_test(e2e_hardening tests/e2e/e2e_hardening_tests.exe)
add_wine_test(e2e_fault_matrix tests/e2e/e2e_fault_matrix_tests.exe)
add_wine_test(e2e_bad_input tests/e2e/e2e_bad_input_tests.exe)
add_wine_test(e2e_window tests/e2e/e2e_window_tests.exe)

# tarnwick.exe where nobody sees a window; Wine's event log is its debug
# output, which the script hands to the suite.
add_test(NAME e2e_unattended
  COMMAND ${TARNWICK_WINE_SESSION} ${TARNWICK_WIN_BUILD_DIR} --shell ${CMAKE_SOURCE_DIR}/tests/e2e/unattended_test.sh)
set_tests_properties(e2e_unattended PROPERTIES RESOURCE_LOCK wine_prefix TIMEOUT 900 LABELS wine)

# The release files: made as "make package" makes them, signed, checked, then
# installed, upgraded and uninstalled under Wine in a prefix of the suite's own;
# the x86 MSI in a 32-bit prefix.
add_test(NAME e2e_install
  COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/install_test.sh ${TARNWICK_WIN_BUILD_DIR} ${TARNWICK_WIN_X86_BUILD_DIR})
set_tests_properties(e2e_install PROPERTIES RESOURCE_LOCK wine_prefix TIMEOUT 900 LABELS wine)
