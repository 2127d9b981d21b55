# The X11 screen capture and the PulseAudio microphone list, each test on a desktop
# of its own so that monitors one test adds never show in another.
pkg_check_modules(CAPTURE_TEST_XCB REQUIRED IMPORTED_TARGET xcb)
target_link_libraries(integration_tests PRIVATE PkgConfig::CAPTURE_TEST_XCB)

function(capture_integration_test suite name)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "DESKTOP")
  add_test(NAME capture.${suite}.${name}
    COMMAND ${WITH_DESKTOP} ${arg_DESKTOP} --
      $<TARGET_FILE:integration_tests> --gtest_filter=${suite}.${name})
  set_tests_properties(capture.${suite}.${name} PROPERTIES LABELS "integration;capture"
    TIMEOUT 60)
endfunction()

foreach(name
    ListsEveryMonitorWithAStableIdAndThePrimaryAsMain
    ScreenshotShowsThePaintedColoursInPlaceAtEveryScale
    SecondMonitorShowsOnlyItsOwnRectangle
    ScalingToFitKeepsTheAspectOnBlackOrStretches
    ShrinkingAveragesFineLinesIntoGrey
    PointerIsDrawnOnlyWhenAsked
    DisplayThatDisappearsGivesAnError
    RequestsThatCannotBeAnsweredGiveErrors
    TheListIsAnsweredAtOnceWhileTheServerIsFrozen
    ScreenshotsFromSeveralThreadsAtOnceAreEachRight)
  capture_integration_test(X11ScreenCaptureTest ${name} DESKTOP --x)
endforeach()
capture_integration_test(X11ScreenCaptureTest WithoutRandrOrSharedMemoryTheWholeScreenIsCaptured
  DESKTOP --x --xvfb-args "-screen 0 1920x1080x24 -extension RANDR -extension MIT-SHM")

capture_integration_test(PulseAudioDevicesTest
  MicrophonesComeAndGoWhileItRunsInServerOrderButNoMonitors DESKTOP --pulse)
capture_integration_test(PulseAudioDevicesTest WithoutAnAnsweringServerTheListIsEmptyWithinASecond)
capture_integration_test(PulseAudioDevicesTest
  AServerStartedLaterIsFoundAFrozenOneKeepsTheListAGoneOneEmptiesIt)
