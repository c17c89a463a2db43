# File names made from device-reported names, built from the pure source alone (no Qt).
vn_add_fuzzer(fuzz_file_name
  ${CMAKE_CURRENT_SOURCE_DIR}/names/fuzz_file_name.cpp
  ${CMAKE_SOURCE_DIR}/src/video/AviFileName.cpp)
target_include_directories(fuzz_file_name PRIVATE ${CMAKE_SOURCE_DIR}/src)
