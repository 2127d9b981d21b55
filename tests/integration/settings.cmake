# The settings file, the user's folders and processes need no desktop: the
# tests make their own folders and child processes.
gtest_discover_tests(integration_tests
  TEST_FILTER "SettingsStore.*:LinuxUserDirs.*:LinuxRunningApps.*"
  DISCOVERY_MODE PRE_TEST
  PROPERTIES LABELS "integration;settings" TIMEOUT 120)

# The real binary, twice and beside a self-test, which needs an X server.
add_test(NAME settings_single_instance
         COMMAND ${WITH_DESKTOP} --x -- ${CMAKE_CURRENT_SOURCE_DIR}/single-instance.sh $<TARGET_FILE:ventilux>)
set_tests_properties(settings_single_instance PROPERTIES LABELS "integration;settings" TIMEOUT 180
                     SKIP_RETURN_CODE 77)
