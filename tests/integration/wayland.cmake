# Wayland: the screen through the ScreenCast portal and PipeWire on a headless
# GNOME session, each case on a session of its own.
foreach(case timelapse realtime no-consent revoked-consent compositor-gone)
  add_test(NAME wayland.selftest.${case}
    COMMAND ${WITH_DESKTOP} --wayland --pulse --
      ${CMAKE_CURRENT_SOURCE_DIR}/wayland-selftest.sh $<TARGET_FILE:ventilux> ${case})
  set_tests_properties(wayland.selftest.${case} PROPERTIES LABELS "integration;wayland" TIMEOUT 120)
endforeach()
