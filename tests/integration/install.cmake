# `cmake --install` and what it installs, checked with the desktop's validators
# (desktop-file-utils, appstream, man-db); no desktop is started.
add_test(NAME install_into_a_prefix
  COMMAND ${WITH_DESKTOP} -- ${CMAKE_CURRENT_SOURCE_DIR}/install.sh ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(install_into_a_prefix PROPERTIES LABELS "integration;install" TIMEOUT 120)
