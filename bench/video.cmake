# Video benchmarks: stream parser, picture decoding and the AVI writer, each
# against a baseline measured in the same run.
add_executable(bench_video ${CMAKE_CURRENT_SOURCE_DIR}/video/VideoBench.cpp)
target_compile_options(bench_video PRIVATE ${VN_WARNINGS})
target_link_libraries(bench_video PRIVATE vn_video benchmark::benchmark)
