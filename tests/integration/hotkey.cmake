# The global hot key on a real X server, the login switches of the real
# program, and the status icon's drawing (which needs no desktop).
pkg_check_modules(HOTKEY_TEST_DEPS REQUIRED IMPORTED_TARGET xcb xcb-keysyms glib-2.0)
target_link_libraries(integration_tests PRIVATE PkgConfig::HOTKEY_TEST_DEPS)

foreach(name
    EachPressOfAltSuper5RunsTheActionOnceOnTheMainThread
    PressesArriveWithCapsLockAndNumLockOn
    ACombinationHeldByAnotherClientIsRefusedAndNothingOfItIsKept
    UnregisterLetsOthersTakeTheCombinationAndRegisterTakesItBack)
  add_test(NAME hotkey.X11HotkeyTest.${name}
    COMMAND ${WITH_DESKTOP} --x -- $<TARGET_FILE:integration_tests> --gtest_filter=X11HotkeyTest.${name})
  set_tests_properties(hotkey.X11HotkeyTest.${name} PROPERTIES LABELS "integration;hotkey")
endforeach()

foreach(name
    RingArrowheadAndMonogramAreDrawnAndTheGapAtTheTopIsEmpty
    TheCountdownShowsItsNumberInPlaceOfTheMonogram
    IdleIsLightOnADarkHaloAndTheTintedLooksAreRed)
  add_test(NAME icon.StatusIconPainter.${name}
    COMMAND $<TARGET_FILE:integration_tests> --gtest_filter=StatusIconPainter.${name})
  set_tests_properties(icon.StatusIconPainter.${name} PROPERTIES LABELS "integration;icon")
endforeach()

foreach(name
    EnableWritesTheEntryStartsItAndReportsBothTrue
    AnAutostartFolderThatCannotBeMadeFailsWithStatusOne
    APathFullOfSpecialCharactersStartsThatProgramAndNothingElse)
  add_test(NAME login.LoginSwitches.${name}
    COMMAND ${WITH_DESKTOP} -- $<TARGET_FILE:integration_tests> --gtest_filter=LoginSwitches.${name})
  set_tests_properties(login.LoginSwitches.${name} PROPERTIES
    LABELS "integration;login" ENVIRONMENT "VENTILUX_BINARY=$<TARGET_FILE:ventilux>")
endforeach()
