# Instrumented builds, each in a build folder of its own (scripts/test --asan, --tsan, --fuzz):
#   SERVO_SANITIZE=address  AddressSanitizer with UndefinedBehaviorSanitizer and LeakSanitizer
#   SERVO_SANITIZE=thread   ThreadSanitizer
#   SERVO_FUZZ=ON           the libFuzzer targets of tests/fuzz (clang): the whole build gets
#                           AddressSanitizer, UndefinedBehaviorSanitizer and the fuzzer's
#                           coverage, so the parsers under test are instrumented too
# Every finding stops the program: nothing is reported and then let through.
set(SERVO_SANITIZE "" CACHE STRING "Sanitizer build: address, thread or empty")
set_property(CACHE SERVO_SANITIZE PROPERTY STRINGS "" address thread)
option(SERVO_FUZZ "Build the libFuzzer targets of tests/fuzz (clang only)" OFF)

if(SERVO_FUZZ AND SERVO_SANITIZE)
  message(FATAL_ERROR "SERVO_FUZZ brings its own sanitizers: leave SERVO_SANITIZE empty")
endif()

set(servo_sanitize_flags "")
if(SERVO_SANITIZE STREQUAL "address")
  set(servo_sanitize_flags -fsanitize=address,undefined)
elseif(SERVO_SANITIZE STREQUAL "thread")
  set(servo_sanitize_flags -fsanitize=thread)
elseif(SERVO_SANITIZE)
  message(FATAL_ERROR "SERVO_SANITIZE must be address or thread, not '${SERVO_SANITIZE}'")
endif()
if(SERVO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "SERVO_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++-14)")
  endif()
  set(servo_sanitize_flags -fsanitize=address,undefined,fuzzer-no-link)
endif()

if(servo_sanitize_flags)
  add_compile_options(${servo_sanitize_flags} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  # fuzzer-no-link instruments only; the fuzz targets link the fuzzer's main themselves.
  string(REPLACE ",fuzzer-no-link" "" servo_sanitize_link "${servo_sanitize_flags}")
  add_link_options(${servo_sanitize_link})
endif()
