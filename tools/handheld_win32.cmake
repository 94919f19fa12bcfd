# The handheld simulator for Windows (kavelin2-handheld.exe), on a serial
# port; included by tools/CMakeLists.txt in the Windows build.
add_library(kavelin2_handheld STATIC
  handheld_frames.cc
  handheld_options.cc
  handheld_noise.cc
  handheld_port_win32.cc
  handheld_session.cc)
target_include_directories(kavelin2_handheld PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kavelin2_handheld PUBLIC kavelin2_wire kavelin2_platform)

add_executable(kavelin2-handheld handheld_main.cc)
target_link_libraries(kavelin2-handheld PRIVATE kavelin2_handheld)

# Frames, options and sessions on the fakes, under Wine.
kavelin2_add_test(handheld_test handheld_frames_test.cc handheld_options_test.cc
  handheld_session_test.cc)
target_link_libraries(handheld_test PRIVATE kavelin2_handheld)

# The simulator's report functions are declared format(printf), which GCC
# checks against msvcrt's printf on Windows (no %zu); the mingw runtime's
# printf that runs (__USE_MINGW_ANSI_STDIO) knows it, and the Linux build
# checks the same formats.
foreach(t kavelin2_handheld kavelin2-handheld handheld_test)
  target_compile_options(${t} PRIVATE -Wno-format)
endforeach()
