# The settings file reader and writer, built from its sources alone (no Qt).
vn_add_fuzzer(fuzz_ini_profile
  ${CMAKE_CURRENT_SOURCE_DIR}/app/fuzz_ini_profile.cpp
  ${CMAKE_SOURCE_DIR}/src/app/IniProfile.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/Folders.cpp)
target_include_directories(fuzz_ini_profile PRIVATE ${CMAKE_SOURCE_DIR}/src)
