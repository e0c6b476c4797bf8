# The tests of a Windows build: every core test that needs no pseudo-terminal, POSIX call,
# virtual bus or Qt, and the Windows serial port's own tests (tests/windows), which run on
# COM ports that scripts/test-windows maps onto pseudo-terminals under wine.

# Drops from the list in `var` the test files that need a POSIX system (judged by what they
# include or call; a file that mentions _WIN32 sees to that itself and is kept), and from the
# libraries in `libs_var` those not built here (the virtual bus: the files that use it include
# BusFixture.h, CtlFixture.h or sim/ and are dropped). Needing the GUI empties the list.
function(servo_windows_test_sources var libs_var)
  set(built "")
  foreach(lib ${${libs_var}})
    if(lib STREQUAL "servogui")
      set(${var} "" PARENT_SCOPE)
      return()
    endif()
    if(TARGET ${lib})
      list(APPEND built ${lib})
    endif()
  endforeach()
  set(kept "")
  foreach(src ${${var}})
    file(READ ${src} text)
    if(text MATCHES "_WIN32" OR NOT text MATCHES "PtyPair\\.h|BusFixture\\.h|CtlFixture\\.h|AppFixture\\.h|ChildProcess\\.h|TtyLinux\\.h|ListSerialPorts|#include [<\"](pty|poll|fcntl|termios|sys/|sim/)")
      list(APPEND kept ${src})
    endif()
  endforeach()
  set(${var} ${kept} PARENT_SCOPE)
  set(${libs_var} ${built} PARENT_SCOPE)
endfunction()
servo_gtest(windows servocore)
