# The settings file, the user's folders and processes need no desktop: the
# tests make their own folders and child processes.
function(settings_integration_test suite name)
  add_test(NAME settings.${suite}.${name}
    COMMAND $<TARGET_FILE:integration_tests> --gtest_filter=${suite}.${name})
  set_tests_properties(settings.${suite}.${name} PROPERTIES LABELS "integration;settings"
                       TIMEOUT 120)
endfunction()

foreach(name
    EveryTypeRoundTripsExactlyThroughTheFile
    RegisteredDefaultsLieBeneathStoredValuesAndAreNeverWritten
    DamagedLinesReadAsDefaultsAndSurviveTheNextWrite
    HandWrittenValuesWithoutATypeAndWindowsLineEndsAreRead
    AFileThatIsNotTextIsKeptAsideAndItsReadableSettingsCarriedOver
    AFileThatCannotBeReadIsSaidOnceAtStartAndLeftAsItIs
    ALinkedFileStaysALinkAndItsTargetIsReplaced
    AValueThatCannotBeSavedHoldsForThisProcessAndIsSavedLater
    AWriterKilledMidWriteLeavesTheOldFileOrTheNew
    TwoProcessesWritingAtOnceLoseNothing)
  settings_integration_test(SettingsStore ${name})
endforeach()
foreach(name
    TheDesktopComesFromUserDirsElseHomeDesktop
    HomeAndConfigurationFolderFollowTheEnvironmentWhenItIsUsable)
  settings_integration_test(LinuxUserDirs ${name})
endforeach()
foreach(name
    ThisProcessIsIdentifiedByItsProgramFileAndListedAsSuch
    AProgramStartedLaterIsListedByItsCanonicalPathAsTheYounger
    AProgramDeletedWhileItRunsKeepsItsIdentifier
    ProcessesOfOtherUsersAreNotListed
    ProcessesOfAnotherDesktopSessionAreNotListed)
  settings_integration_test(LinuxRunningApps ${name})
endforeach()

# The real binary, twice and beside a self-test, which needs an X server.
add_test(NAME settings.single_instance
         COMMAND ${WITH_DESKTOP} --x -- ${CMAKE_CURRENT_SOURCE_DIR}/single-instance.sh $<TARGET_FILE:ventilux>)
set_tests_properties(settings.single_instance PROPERTIES LABELS "integration;settings" TIMEOUT 180
                     SKIP_RETURN_CODE 77)
