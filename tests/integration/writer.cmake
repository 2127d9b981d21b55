# The FFmpeg movie writer needs no desktop. One CTest entry per suite; the
# full-disk suite mounts a small tmpfs and skips itself where that is not
# permitted.
foreach(suite
    FfmpegMovieWriter
    Writer/FfmpegMovieWriterFinished
    Writer/FfmpegMovieWriterKilled
    FfmpegMovieWriterSmallDisk)
  string(REGEX REPLACE "^Writer/" "writer." name "${suite}")
  string(REGEX REPLACE "^Ffmpeg" "writer.Ffmpeg" name "${name}")
  add_test(NAME ${name} COMMAND integration_tests --gtest_filter=${suite}.*)
  set_tests_properties(${name} PROPERTIES
    LABELS "integration;writer"
    TIMEOUT 300
    SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endforeach()
