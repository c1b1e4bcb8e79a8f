# mingw-w64 cross build. The -posix variants give std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TALV_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TALV_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALV_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TALV_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TALV_TRIPLE} ${CMAKE_CURRENT_LIST_DIR}/../.deps/${TALV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests run under Wine; the wrapper gives each run its own prefix and the Taiwan locale.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
