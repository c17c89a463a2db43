# Live video end to end: four simulated door phones into four panels.
add_executable(bench_panel_latency ${CMAKE_CURRENT_SOURCE_DIR}/panel/LatencyBench.cpp)
target_compile_options(bench_panel_latency PRIVATE ${VN_WARNINGS})
target_link_libraries(bench_panel_latency PRIVATE vn_doorphone)
target_compile_definitions(bench_panel_latency PRIVATE VN_SIM_PROGRAM="$<TARGET_FILE:doorphone-sim>")
add_dependencies(bench_panel_latency doorphone-sim)

# The ring path: a ring report on the events channel to the ring picture and
# the pop-up, with four panels streaming video meanwhile.
add_executable(bench_ring_latency ${CMAKE_CURRENT_SOURCE_DIR}/panel/RingBench.cpp)
target_compile_options(bench_ring_latency PRIVATE ${VN_WARNINGS})
target_link_libraries(bench_ring_latency PRIVATE vn_doorphone)
target_compile_definitions(bench_ring_latency PRIVATE VN_SIM_PROGRAM="$<TARGET_FILE:doorphone-sim>"
                                                      VN_ASSETS_DIR="${CMAKE_SOURCE_DIR}/assets")
add_dependencies(bench_ring_latency doorphone-sim)
