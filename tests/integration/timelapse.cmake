add_test(NAME timelapse_selftest_end_to_end
         COMMAND ${WITH_DESKTOP} --x -- ${CMAKE_CURRENT_SOURCE_DIR}/timelapse-selftest.sh $<TARGET_FILE:ventilux>)
set_tests_properties(timelapse_selftest_end_to_end PROPERTIES LABELS "integration;timelapse" TIMEOUT 120)
