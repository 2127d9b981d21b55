# The FFmpeg movie writer needs no desktop; its full-disk tests mount a small
# tmpfs and skip themselves where that is not permitted.
gtest_discover_tests(integration_tests
  TEST_FILTER "FfmpegMovieWriter*:Writer/FfmpegMovieWriter*"
  DISCOVERY_MODE PRE_TEST
  PROPERTIES LABELS "integration;writer" TIMEOUT 300)
