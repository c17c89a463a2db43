# The MJPEG stream parser, built from its source alone (no Qt, no TurboJPEG).
vn_add_fuzzer(fuzz_mjpeg_parser
  ${CMAKE_CURRENT_SOURCE_DIR}/video/fuzz_mjpeg_parser.cpp
  ${CMAKE_SOURCE_DIR}/src/video/MjpegParser.cpp)
target_include_directories(fuzz_mjpeg_parser PRIVATE ${CMAKE_SOURCE_DIR}/src)
