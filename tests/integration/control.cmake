# Control of the running copy by other processes, and the folder dialog through
# the desktop portal, each on a private session bus; then `ventilux --toggle`
# and its kin against the real program on a desktop that shows no tray icons.
foreach(case
    RemoteControlTest.EachRequestOfTheUserReachesTheCopyAndEachChangeIsAnnounced
    RemoteControlTest.ARequestFromAnotherUserIsRefused
    PortalFolderChooserTest.OnlyAPortalThatChoosesFoldersOffersTheDialog
    PortalFolderChooserTest.TheChosenFolderComesBackAsAPathAndACancelAsNothing)
  add_test(NAME control.${case}
    COMMAND ${WITH_DESKTOP} --dbus -- $<TARGET_FILE:integration_tests> --gtest_filter=${case})
  set_tests_properties(control.${case} PROPERTIES LABELS "integration;control"
    ENVIRONMENT "FILE_CHOOSER_PORTAL=${CMAKE_CURRENT_SOURCE_DIR}/file-chooser-portal.py" TIMEOUT 60)
endforeach()

add_test(NAME control_end_to_end
  COMMAND ${WITH_DESKTOP} --x --dbus -- ${CMAKE_CURRENT_SOURCE_DIR}/remote-control-e2e.sh $<TARGET_FILE:ventilux>)
set_tests_properties(control_end_to_end PROPERTIES LABELS "integration;control" TIMEOUT 120)
