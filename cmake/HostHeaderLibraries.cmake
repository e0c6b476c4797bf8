# Header-only and source-shipped libraries of the build machine for a cross build: CLI11's
# headers and GoogleTest's sources are the same for any target, but the build machine's
# package files would put its whole /usr/include (glibc's headers) on the cross compiler's
# path. Each gets a folder of its own instead.

# CLI11::CLI11 from the build machine's CLI/ headers.
function(servo_host_cli11)
  if(TARGET CLI11::CLI11)
    return()
  endif()
  find_path(SERVO_HOST_CLI11 CLI/CLI.hpp PATHS /usr/include /usr/local/include
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(dir ${PROJECT_BINARY_DIR}/host-headers/cli11)
  file(MAKE_DIRECTORY ${dir})
  file(CREATE_LINK ${SERVO_HOST_CLI11}/CLI ${dir}/CLI SYMBOLIC)
  add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
  target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${dir})
endfunction()

# nlohmann_json::nlohmann_json from the build machine's nlohmann/ headers.
function(servo_host_nlohmann_json)
  if(TARGET nlohmann_json::nlohmann_json)
    return()
  endif()
  find_path(SERVO_HOST_NLOHMANN_JSON nlohmann/json.hpp PATHS /usr/include /usr/local/include
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(dir ${PROJECT_BINARY_DIR}/host-headers/nlohmann-json)
  file(MAKE_DIRECTORY ${dir})
  file(CREATE_LINK ${SERVO_HOST_NLOHMANN_JSON}/nlohmann ${dir}/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${dir})
endfunction()

# GTest::gtest and GTest::gtest_main built from the build machine's GoogleTest sources.
function(servo_host_googletest)
  if(TARGET GTest::gtest_main)
    return()
  endif()
  find_path(SERVO_HOST_GOOGLETEST CMakeLists.txt PATHS /usr/src/googletest
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${SERVO_HOST_GOOGLETEST} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own build names its targets GTest::gtest and GTest::gtest_main too.
endfunction()
