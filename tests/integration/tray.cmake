# The status item and notifications on a private session bus, with the test
# itself as the tray host and the notification server.
pkg_check_modules(TRAY_TEST_DEPS REQUIRED IMPORTED_TARGET gio-2.0)
target_link_libraries(integration_tests PRIVATE PkgConfig::TRAY_TEST_DEPS)
foreach(case
    SniStatusItemTest.TheItemRegistersWithTheTrayAndDescribesItself
    SniStatusItemTest.TheLayoutShowsEveryLineAsTheMenuSaysAndNumbersThemDepthFirst
    SniStatusItemTest.OpeningTheMenuRebuildsItAndAnnouncesOnlyWhatChanged
    SniStatusItemTest.AClickActivatesTheChosenItemAndNothingElse
    SniStatusItemTest.OversizedArgumentsAreRefusedAndTheItemStillAnswers
    SniStatusItemTest.ALookChangeRedrawsTheIconAndRetitlesTheItem
    SniStatusItemTest.WithoutATrayTheItemSaysSoOnceAndRegistersWhenATrayStarts
    SniStatusItemTest.ASecondItemInTheSameProcessIsRefusedWithOneLineAndStillHoldsItsLook
    FreedesktopNotifications.WithAServerItIsAllowedAndTheNotificationArrivesAsGiven
    FreedesktopNotifications.LongBodiesAreCutAndMarkupIsEscapedForServersThatReadIt
    FreedesktopNotifications.WithoutAServerNothingIsAllowedNothingWaitsAndNothingFails)
  add_test(NAME tray.${case}
    COMMAND ${WITH_DESKTOP} --x --dbus -- $<TARGET_FILE:integration_tests> --gtest_filter=${case})
  set_tests_properties(tray.${case} PROPERTIES LABELS "integration;tray" TIMEOUT 60)
endforeach()

add_test(NAME tray_end_to_end
         COMMAND ${WITH_DESKTOP} --x --dbus -- ${CMAKE_CURRENT_SOURCE_DIR}/tray-e2e.sh $<TARGET_FILE:ventilux>)
set_tests_properties(tray_end_to_end PROPERTIES LABELS "integration;tray" TIMEOUT 180)
