add_test(NAME realtime_selftest_end_to_end
         COMMAND ${WITH_DESKTOP} --x --pulse -- ${CMAKE_CURRENT_SOURCE_DIR}/realtime-selftest.sh $<TARGET_FILE:ventilux>)
set_tests_properties(realtime_selftest_end_to_end PROPERTIES LABELS "integration;realtime" TIMEOUT 180)
