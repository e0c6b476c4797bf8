# Cross build for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64-posix, whose
# std::thread and std::mutex work), statically linked so the programs need no DLLs beside
# them. Tests run through wine when it is installed.
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64.cmake -DSERVO_GUI=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SERVO_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${SERVO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SERVO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${SERVO_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SERVO_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# GCC 12 at -O3 warns of overlapping copies inside std::string's own inlined code where there
# are none (string concatenation in the tests); the Linux build keeps the warning on.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")

find_program(SERVO_WINE wine)
if(SERVO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SERVO_WINE})
endif()
