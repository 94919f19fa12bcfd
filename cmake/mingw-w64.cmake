# Cross build of the Windows programs with Debian's mingw-w64 (the -posix
# thread model: the default win32 one lacks std::mutex and std::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KAVELIN2_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KAVELIN2_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAVELIN2_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KAVELIN2_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KAVELIN2_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# A site copies the programs alone: no libstdc++, libgcc or winpthread DLL
# may be needed beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
