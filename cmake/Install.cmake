# Install rules and the Debian package: the three programs, the shipped catalogue, the menu
# entry with its icons and metadata, the manual pages, the bash completion and the udev rule
# for USB serial adapters. `scripts/package` builds the package with CPack into dist/.
include(GNUInstallDirs)

set(SERVO_APP_ID net.serialbus.ServoDebugger)
set(SERVO_DATA_DIR ${CMAKE_INSTALL_DATADIR}/servo-debugger)
set(SERVO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/servo-debugger)
option(SERVO_PACKAGE "Fail unless every piece of the package can be built" OFF)
set(SERVO_PACKAGE_MAINTAINER "Seed c8d52cd7 maintainers <maintainers@users.noreply.c-seed-c8d52cd7.example>"
    CACHE STRING "The Maintainer field of the Debian package")

# The programs look for the installed catalogue here when the working directory and the
# user's folder have none.
set_source_files_properties(${PROJECT_SOURCE_DIR}/src/catalogue/InstalledDataDirPosix.cpp
  TARGET_DIRECTORY servocore PROPERTIES
  COMPILE_DEFINITIONS "SERVO_INSTALLED_DATA_DIR=\"${CMAKE_INSTALL_FULL_DATADIR}/servo-debugger\"")

if(WIN32)
  return()  # the Windows build is shipped as a zip by scripts/test-windows
endif()

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
foreach(program servo-debugger servoctl servo-sim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/data/setup.log DESTINATION ${SERVO_DATA_DIR})

# Manual pages and the package's changelog go in gzip'd, without a time stamp.
set(pkg ${PROJECT_SOURCE_DIR}/packaging)
set(out ${PROJECT_BINARY_DIR}/packaging)
configure_file(${pkg}/changelog.in ${out}/changelog @ONLY)
set(compressed "")
foreach(page servo-debugger servoctl servo-sim)
  list(APPEND compressed ${PROJECT_SOURCE_DIR}/docs/man/${page}.1)
endforeach()
list(APPEND compressed ${out}/changelog)
set(gz_files "")
foreach(file ${compressed})
  get_filename_component(name ${file} NAME)
  add_custom_command(OUTPUT ${out}/${name}.gz
    COMMAND gzip -9nc ${file} > ${out}/${name}.gz
    DEPENDS ${file} VERBATIM)
  list(APPEND gz_files ${out}/${name}.gz)
endforeach()
list(FILTER gz_files INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${gz_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${out}/changelog.gz ${pkg}/copyright DESTINATION ${SERVO_DOC_DIR})

# The icon: drawn as SVG, rendered to PNG at the usual sizes when rsvg-convert is there.
set(svg ${pkg}/icons/${SERVO_APP_ID}.svg)
install(FILES ${svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
if(SERVO_PACKAGE)
  find_program(RSVG_CONVERT rsvg-convert REQUIRED)
else()
  find_program(RSVG_CONVERT rsvg-convert)
endif()
set(png_files "")
if(RSVG_CONVERT)
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${out}/icons/${size}x${size}/${SERVO_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${out}/icons/${size}x${size}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
      DEPENDS ${svg} VERBATIM)
    list(APPEND png_files ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  message(STATUS "rsvg-convert not found: the icon is installed as SVG only")
endif()
add_custom_target(servo-install-data ALL DEPENDS ${out}/changelog.gz ${gz_files} ${png_files})

# AppStream wants the screenshots (docs/, also installed with the documentation) on the web.
set(SERVO_SCREENSHOT_URL "https://serialbus.net/servo-debugger/screenshots"
    CACHE STRING "Where the screenshots of docs/ are published")
configure_file(${pkg}/${SERVO_APP_ID}.metainfo.xml.in ${out}/${SERVO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${pkg}/${SERVO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${out}/${SERVO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/docs/demo-window.png ${PROJECT_SOURCE_DIR}/docs/program-page.png
        DESTINATION ${SERVO_DOC_DIR})
install(FILES ${pkg}/completion/servoctl
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The udev rule belongs where udev reads the rules of packages (/lib/udev/rules.d on
# Debian 12), whatever the prefix.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_get_variable(SERVO_UDEV_DIR udev udevdir)
endif()
if(NOT SERVO_UDEV_DIR)
  set(SERVO_UDEV_DIR /lib/udev)
endif()
set(SERVO_UDEV_RULES_DIR ${SERVO_UDEV_DIR}/rules.d CACHE PATH "Where the udev rule is installed")
install(FILES ${pkg}/70-servo-debugger.rules DESTINATION ${SERVO_UDEV_RULES_DIR})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME servo-debugger)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${SERVO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SERVO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "debugging tool for serial-bus smart servos")
file(READ ${pkg}/description.txt CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${pkg}/description.txt)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")  # the window's Chinese captions
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Installs through DESTDIR, so the udev rule's absolute folder lands inside the package.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
