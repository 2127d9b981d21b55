# The dispatch queues, timers and the main loop need no desktop: no X server,
# bus or sound server, so these run without with-desktop.sh.
pkg_check_modules(DISPATCH_GLIB REQUIRED IMPORTED_TARGET glib-2.0)
target_link_libraries(integration_tests PRIVATE PkgConfig::DISPATCH_GLIB)
gtest_discover_tests(integration_tests
  TEST_FILTER "LinuxDispatch.*:LinuxAppDeathTest.*"
  DISCOVERY_MODE PRE_TEST
  PROPERTIES LABELS "integration;dispatch")
