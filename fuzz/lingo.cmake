# Language files on any bytes: decoding, the header scan, reading a language
# and writing it back. The library's source is compiled in so that the fuzzer
# sees it; QtCore is linked as it is.
vn_add_fuzzer(fuzz_language_file
  ${CMAKE_CURRENT_SOURCE_DIR}/lingo/fuzz_language_file.cpp
  ${CMAKE_SOURCE_DIR}/src/lingo/LingoSys.cpp)
target_include_directories(fuzz_language_file PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(fuzz_language_file PRIVATE Qt6::Core)
