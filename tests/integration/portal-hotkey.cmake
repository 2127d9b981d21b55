# The global hot key on Wayland desktops, through the desktop portal: against
# the real portal of a headless GNOME session, which offers no GlobalShortcuts,
# and against a stand-in portal (shortcuts-portal.py) that offers them.
pkg_check_modules(PORTAL_HOTKEY_TEST_DEPS REQUIRED IMPORTED_TARGET gio-2.0)
target_link_libraries(integration_tests PRIVATE PkgConfig::PORTAL_HOTKEY_TEST_DEPS)

foreach(name
    TheShortcutIsAskedForAsAltSuper5AndEachActivationRunsTheActionOnce
    ARefusedBindingIsOneLogLineAndALaterOneCanSucceed
    UnregisterClosesTheSessionEvenWhenTheDesktopHadNotMadeItYet)
  add_test(NAME hotkey.PortalHotkeyTest.${name}
    COMMAND ${WITH_DESKTOP} --dbus -- $<TARGET_FILE:integration_tests> --gtest_filter=PortalHotkeyTest.${name})
  set_tests_properties(hotkey.PortalHotkeyTest.${name} PROPERTIES LABELS "integration;hotkey"
    ENVIRONMENT "SHORTCUTS_PORTAL=${CMAKE_CURRENT_SOURCE_DIR}/shortcuts-portal.py" TIMEOUT 60)
endforeach()

add_test(NAME hotkey.GnomePortalHotkeyTest.TheShortcutIsUnavailableOnThisDesktopNotTaken
  COMMAND ${WITH_DESKTOP} --wayland -- $<TARGET_FILE:integration_tests>
    --gtest_filter=GnomePortalHotkeyTest.TheShortcutIsUnavailableOnThisDesktopNotTaken)
set_tests_properties(hotkey.GnomePortalHotkeyTest.TheShortcutIsUnavailableOnThisDesktopNotTaken
  PROPERTIES LABELS "integration;hotkey;wayland" TIMEOUT 120)
