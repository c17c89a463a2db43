# JPEG pictures from a door phone: into the panel's picture (Qt's QImage) and
# into an AVI sample. The project's sources are compiled in so that the fuzzer
# sees them; TurboJPEG and Qt are linked as they are.
set(vn_picture_sources
  ${CMAKE_SOURCE_DIR}/src/video/JpegDecoder.cpp
  ${CMAKE_SOURCE_DIR}/src/video/AviFrame.cpp
  ${CMAKE_SOURCE_DIR}/src/video/AviWriter.cpp)
vn_add_fuzzer(fuzz_jpeg_picture
  ${CMAKE_CURRENT_SOURCE_DIR}/picture/fuzz_jpeg_picture.cpp
  ${CMAKE_SOURCE_DIR}/src/video/video.cpp
  ${CMAKE_SOURCE_DIR}/src/video/MjpegParser.cpp
  ${vn_picture_sources})
target_include_directories(fuzz_jpeg_picture PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(fuzz_jpeg_picture PRIVATE vn_platform Qt6::Gui PkgConfig::TURBOJPEG)

vn_add_fuzzer(fuzz_jpeg_avi_frame
  ${CMAKE_CURRENT_SOURCE_DIR}/picture/fuzz_jpeg_avi_frame.cpp
  ${vn_picture_sources})
target_include_directories(fuzz_jpeg_avi_frame PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(fuzz_jpeg_avi_frame PRIVATE PkgConfig::TURBOJPEG)
