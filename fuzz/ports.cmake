# The port-owner listing parser, built from its pure source alone (no Qt).
vn_add_fuzzer(fuzz_port_listing
  ${CMAKE_CURRENT_SOURCE_DIR}/ports/fuzz_port_listing.cpp
  ${CMAKE_SOURCE_DIR}/src/sip/PortListing.cpp)
target_include_directories(fuzz_port_listing PRIVATE ${CMAKE_SOURCE_DIR}/src)
