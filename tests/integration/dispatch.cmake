# The dispatch queues, timers and main loop need no desktop (no X server, bus
# or sound server), so these run without with-desktop.sh, each in a process of
# its own: GLib's default main context is one per process.
pkg_check_modules(DISPATCH_TEST_GLIB REQUIRED IMPORTED_TARGET glib-2.0)
target_link_libraries(integration_tests PRIVATE PkgConfig::DISPATCH_TEST_GLIB)

function(dispatch_integration_test suite name)
  add_test(NAME dispatch.${suite}.${name}
    COMMAND $<TARGET_FILE:integration_tests> --gtest_filter=${suite}.${name})
  set_tests_properties(dispatch.${suite}.${name} PROPERTIES LABELS "integration;dispatch")
endfunction()

foreach(name
    SerialQueueRunsEachPostersTasksInOrderAndOneAtATime
    MainQueueGetsEveryPostFromEveryThreadInPostingOrder
    MainQueueRunsPostsAfterTheCurrentTaskAndDelayedOnesByDeadline
    EveryKindOfThreadReportsItsQueueLabel
    QueueTimerKeepsToItsDeadlinesEvenWithABusyHandler
    ASlowRunSkipsTheTicksItMissedInsteadOfQueueingThem
    ARunWaitingBehindOtherWorkDoesNotStartAfterCancel
    NoRunStartsOnceATimerIsStopped
    DroppingAQueueFirstRunsWhatIsStillQueued
    TheLastOwnerOfAQueueMayBeOneOfItsOwnTasks
    BackgroundTasksThatBlockDoNotHoldUpTheOthers)
  dispatch_integration_test(LinuxDispatch ${name})
endforeach()
dispatch_integration_test(LinuxAppDeathTest ATerminationSignalIsAQuitRequest)
