# The event interpreter and the value reader over arbitrary chunks. The pure
# sources are compiled in directly: the fuzzer build has no Qt.
vn_add_fuzzer(fuzz_event_interpreter
  ${CMAKE_CURRENT_SOURCE_DIR}/events/fuzz_event_interpreter.cpp
  ${CMAKE_SOURCE_DIR}/src/doorphone/EventInterpreter.cpp
)
target_include_directories(fuzz_event_interpreter PRIVATE ${CMAKE_SOURCE_DIR}/src)
