# The SIP client's output evaluation and the secret masking, built from the
# pure source alone (no Qt).
vn_add_fuzzer(fuzz_sip_evaluator
  ${CMAKE_CURRENT_SOURCE_DIR}/sip/EvaluatorFuzz.cpp
  ${CMAKE_SOURCE_DIR}/src/sip/LinphoneEvaluator.cpp)
target_include_directories(fuzz_sip_evaluator PRIVATE ${CMAKE_SOURCE_DIR}/src)
