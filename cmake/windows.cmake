# The Windows build (cross-compiled, see cmake/mingw-w64.cmake), included by
# the top CMakeLists.txt.

# The station waits on lines and disks: -O2 is all it needs, and -O3 only
# lengthens the cross build that every `make test` runs.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG")

# GoogleTest from Debian's sources, built with the cross compiler: the
# packaged libraries are Linux ones.
set(KAVELIN2_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${KAVELIN2_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
  # The warnings are GoogleTest's own business.
  target_compile_options(${t} PRIVATE -Wno-error)
  if(NOT TARGET GTest::${t})
    add_library(GTest::${t} ALIAS ${t})
  endif()
endforeach()

# Every source of the Windows build sees the POSIX spellings the tests and the
# handheld simulator use, made on the Windows C runtime (binary opens, mkdir
# with a mode, mkdtemp, timegm); the station's own files go through its
# FileSystem.
add_compile_options(
  "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${CMAKE_SOURCE_DIR}/src/platform/posix_files_win32.h>")
# GCC 12's -Wrestrict misfires inside libstdc++'s string code at -O2 and
# above (GCC bug 105329).
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
  _POSIX_C_SOURCE=200809L
  # C99 printf (%zu, %lld) from the mingw runtime rather than msvcrt's.
  __USE_MINGW_ANSI_STDIO=1)

# What every Windows program of the station links: files opened without a
# mode are binary too (the runtime's binmode.o).
add_library(kavelin2_win32_base INTERFACE)
target_link_libraries(kavelin2_win32_base INTERFACE
  ${CMAKE_FIND_ROOT_PATH}/lib/binmode.o)

# The test programs that run under Wine: those built on the fakes (fake
# line, fake clock, fake UI runtime), which need nothing of POSIX.
set(KAVELIN2_WINDOWS_TESTS codec_test download_test upload_test poll_loop_test
    journal_test config_test dialogs_test ui_runtime_test terminal_test handheld_test win32_test
    fake_file_system_test file_system_test net_port_test)
add_custom_target(windows_tests)
# Test sources that exercise POSIX itself: signals and sigaction, dlopen,
# symbolic links, FIFOs, other users.
set(KAVELIN2_POSIX_ONLY_TESTS headless_front_end_test.cc round_trip_test.cc settings_io_test.cc
    handheld_session_test.cc)

function(kavelin2_add_windows_test name)
  set(sources)
  foreach(s ${ARGN})
    # Pseudo-terminal scenarios have their Wine counterpart in
    # tools/wine_e2e.sh.
    if(NOT s MATCHES "_pty_test\\.cc$|_posix_test\\.cc$" AND
       NOT s IN_LIST KAVELIN2_POSIX_ONLY_TESTS)
      list(APPEND sources ${s})
    endif()
  endforeach()
  if(NOT sources)
    # Nothing of it runs on Windows: a target with no program.
    add_custom_target(${name})
    return()
  endif()
  add_executable(${name} EXCLUDE_FROM_ALL ${sources})
  target_link_libraries(${name} PRIVATE kavelin2_testing kavelin2_core GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src/testing/win32)
  target_compile_definitions(${name} PRIVATE
    KAVELIN2_BUILD_DIR="${CMAKE_BINARY_DIR}"
    KAVELIN2_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  if(name IN_LIST KAVELIN2_WINDOWS_TESTS)
    add_dependencies(windows_tests ${name})
  endif()
endfunction()
