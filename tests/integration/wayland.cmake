# Wayland: the screen through the ScreenCast portal and PipeWire on a headless
# GNOME session, each case on a session of its own.
foreach(case timelapse realtime no-consent revoked-consent compositor-gone)
  add_test(NAME wayland.selftest.${case}
    COMMAND ${WITH_DESKTOP} --wayland --pulse --
      ${CMAKE_CURRENT_SOURCE_DIR}/wayland-selftest.sh $<TARGET_FILE:ventilux> ${case})
  # Alone: a software-rendering compositor beside other tests may take seconds to
  # draw its first picture.
  set_tests_properties(wayland.selftest.${case} PROPERTIES LABELS "integration;wayland" TIMEOUT 120
    RUN_SERIAL TRUE)
endforeach()

target_compile_definitions(integration_tests PRIVATE
  VX_INTEGRATION_SCRIPTS="${CMAKE_CURRENT_SOURCE_DIR}")
foreach(name
    DisplaysAreTheOutputsWithIdsTheirNamesKeepAcrossRuns
    AMonitorSwitchedOffAndOnLeavesTheListAndComesBackUnderItsId
    PreflightFollowsTheConsentInTheDesktopsKeeping
    ScreenshotsComeFromOneCastKeptOpenWhileTheyKeepComing
    DisplayWithoutConsentFailsAtOnceAndShowsNoChooser
    ACastWhoseCompositorIsGoneFailsEveryLaterScreenshot
    AnUnansweredChooserNeitherBlocksNorOutlivesTheCapture)
  add_test(NAME wayland.PortalScreenCaptureTest.${name}
    COMMAND ${WITH_DESKTOP} --wayland --monitors "1280x720 800x600" --
      $<TARGET_FILE:integration_tests> --gtest_filter=PortalScreenCaptureTest.${name})
  set_tests_properties(wayland.PortalScreenCaptureTest.${name} PROPERTIES
    LABELS "integration;wayland" TIMEOUT 60 RUN_SERIAL TRUE)
endforeach()
