# The terminal front end of the UI runtime (ncurses), included by the
# runtime's CMakeLists.txt. Its objects go into the runtime library and into
# its tests.
set(CURSES_NEED_NCURSES TRUE)
set(CURSES_NEED_WIDE TRUE)
find_package(Curses REQUIRED)

add_library(kavelin2ui_terminal OBJECT
  terminal_boxes.cc
  terminal_curses.cc
  terminal_dialogs.cc
  terminal_draw.cc
  terminal_form.cc
  terminal_front_end.cc
  terminal_menu.cc
  terminal_online.cc
  terminal_picker.cc
  terminal_text.cc
  terminal_views.cc)
set_target_properties(kavelin2ui_terminal PROPERTIES
  POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
target_include_directories(kavelin2ui_terminal PUBLIC ${CMAKE_SOURCE_DIR}/src
                           PRIVATE ${CURSES_INCLUDE_DIRS})
# The wide-character calls (wget_wch) of <curses.h>.
target_compile_definitions(kavelin2ui_terminal PRIVATE NCURSES_WIDECHAR=1)

target_sources(kavelin2ui PRIVATE $<TARGET_OBJECTS:kavelin2ui_terminal>)
target_link_libraries(kavelin2ui PRIVATE ${CURSES_LIBRARIES})

kavelin2_add_test(terminal_test terminal_front_end_test.cc terminal_runtime_test.cc
  terminal_text_test.cc)
target_sources(terminal_test PRIVATE $<TARGET_OBJECTS:kavelin2ui_terminal>)
target_link_libraries(terminal_test PRIVATE kavelin2ui_core ${CURSES_LIBRARIES})

# The station in a real terminal, driven through tmux (skipped without tmux).
kavelin2_add_test(terminal_e2e_test terminal_e2e_test.cc)
add_dependencies(terminal_e2e_test kavelin2 kavelin2ui)
