# The terminal front end of the UI runtime over the Win32 console, included
# by the runtime's CMakeLists.txt in the Windows build. The drawing and key
# handling are the ones of the ncurses front end (terminal.cmake); only the
# back end behind terminal_io.h differs.
add_library(kavelin2ui_terminal OBJECT
  terminal_boxes.cc
  terminal_console_win32.cc
  terminal_dialogs.cc
  terminal_draw.cc
  terminal_form.cc
  terminal_front_end.cc
  terminal_menu.cc
  terminal_online.cc
  terminal_picker.cc
  terminal_text.cc
  terminal_views.cc)
target_include_directories(kavelin2ui_terminal PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_sources(kavelin2ui PRIVATE $<TARGET_OBJECTS:kavelin2ui_terminal>)

# Its drawing and keys on the in-memory terminal, under Wine.
kavelin2_add_test(terminal_test terminal_front_end_test.cc terminal_runtime_test.cc
  terminal_text_test.cc)
target_sources(terminal_test PRIVATE $<TARGET_OBJECTS:kavelin2ui_terminal>)
target_link_libraries(terminal_test PRIVATE kavelin2ui_core)
