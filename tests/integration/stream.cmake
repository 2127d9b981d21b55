# The real-time recording stream, each test on a desktop of its own with an X
# server and a sound server whose null sinks stand in for speakers and a microphone.
foreach(name
    RecordsTheChosenSoundSourcesInStepWithThePicture
    StartsThatCannotRecordFailOnceWithASentenceAndLeaveFilesAlone
    SecondStopAndDestructionWithoutStopEndOnceAndLeaveAPlayableFile
    UnpluggedDisplayStopsTheRecordingWithItsReasonAndKeepsWhatWasRecorded
    FullDiskFailsTheRecordingAndLeavesThePartialFile)
  add_test(NAME stream.RealtimeStreamTest.${name}
    COMMAND ${WITH_DESKTOP} --x --pulse --
      $<TARGET_FILE:integration_tests> --gtest_filter=RealtimeStreamTest.${name})
  set_tests_properties(stream.RealtimeStreamTest.${name} PROPERTIES
    LABELS "integration;stream" TIMEOUT 120)
endforeach()


# The mixer needs no desktop.
foreach(name
    SourcesOnTimeAddUpAndLoudSumsAreClipped
    SilentOrIdleSourcesAreFilledWithSilenceSoTheTrackKeepsItsLength
    ALateBurstLandsWhereItWasCapturedAndWhatIsTooLateIsDropped
    ASourceWhoseClockDriftsIsPutBackInPlace)
  add_test(NAME stream.AudioMixerTest.${name}
    COMMAND $<TARGET_FILE:integration_tests> --gtest_filter=AudioMixerTest.${name})
  set_tests_properties(stream.AudioMixerTest.${name} PROPERTIES LABELS "integration;stream")
endforeach()
