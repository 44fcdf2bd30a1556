# Installation and release packages.
#
# `cmake --install` puts the programs in bin/, the manual pages in
# share/man/man1/ and the README, copyright and changelog in
# share/doc/veldak-vrx740/. `cpack` makes the package of the system built for:
# a Debian package on Linux (VELDAK, VRX740SW and the simulators, with the
# manual pages gzipped as Debian does), a zip on Windows (the two programs, a
# README for Windows users and the manual pages as text and HTML, in one
# folder). scripts/package.sh runs both.
include(GNUInstallDirs)

# `cmake --install` and `cpack` take what is built; scripts/package.sh builds
# only the targets that are installed, not every test.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(PACKAGE_NAME veldak-vrx740)
set(PACKAGE_MAINTAINER "Veldak maintainers <maintainers@veldak-vrx740.example>")
set(PACKAGE_SUMMARY "register editor and storage module configurator for Sy/Max and Modbus")
set(package_pages VELDAK.1 VRX740SW.1 vrx740sim.1)
# the other simulators are installed on Linux only, with their pages
set(simulator_pages symaxsim.1 gateway_sim.1 modbus_serial_sim.1 modbustcpsim.1 pacedcable.1)
set(package_source ${CMAKE_SOURCE_DIR}/packaging)
set(man_out ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${man_out})

# The changelog carries the project's version, so it is made from a template.
configure_file(${package_source}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)

if(WIN32)
  # One folder, unpacked where the user likes: the programs and what to read
  # beside them. The manual pages are rendered on the build machine.
  install(TARGETS VELDAK VRX740SW RUNTIME DESTINATION .)
  install(FILES ${package_source}/README-WINDOWS.txt DESTINATION . RENAME README.txt)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION doc)
  find_program(GROFF_PROGRAM groff)
  if(GROFF_PROGRAM)
    set(rendered "")
    foreach(page ${package_pages})
      get_filename_component(stem ${page} NAME_WE)
      set(src ${CMAKE_SOURCE_DIR}/man/${page})
      # plain text without overstrikes or colour, and HTML
      add_custom_command(
        OUTPUT ${man_out}/${stem}.txt ${man_out}/${stem}.html
        COMMAND ${GROFF_PROGRAM} -man -Tascii -P-c -P-b -P-u -P-o ${src} > ${man_out}/${stem}.txt
        COMMAND ${GROFF_PROGRAM} -man -Thtml ${src} > ${man_out}/${stem}.html
        DEPENDS ${src}
        COMMENT "Rendering ${page}")
      list(APPEND rendered ${man_out}/${stem}.txt ${man_out}/${stem}.html)
    endforeach()
    add_custom_target(man_pages ALL DEPENDS ${rendered})
    install(FILES ${rendered} DESTINATION doc)
  else()
    message(WARNING "groff not found: the zip holds the manual pages as their sources")
    foreach(page ${package_pages})
      install(FILES ${CMAKE_SOURCE_DIR}/man/${page} DESTINATION doc)
    endforeach()
  endif()

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PACKAGE_NAME}-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(doc_destination ${CMAKE_INSTALL_DATADIR}/doc/${PACKAGE_NAME})
  # The programs and every simulator that plays the remote equipment.
  foreach(program VELDAK VRX740SW vrx740sim symaxsim gateway_sim modbus_serial_sim
                  modbustcpsim pacedcable)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
  endforeach()

  # Manual pages and the changelog compressed as Debian does it: gzip -9n
  # (no name or time stamp in the file, so each build gives the same bytes).
  find_program(GZIP_PROGRAM gzip REQUIRED)
  set(compressed "")
  foreach(page ${package_pages} ${simulator_pages})
    set(src ${CMAKE_SOURCE_DIR}/man/${page})
    add_custom_command(
      OUTPUT ${man_out}/${page}.gz
      COMMAND ${GZIP_PROGRAM} -9n -c ${src} > ${man_out}/${page}.gz
      DEPENDS ${src}
      COMMENT "Compressing ${page}")
    list(APPEND compressed ${man_out}/${page}.gz)
  endforeach()
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND ${GZIP_PROGRAM} -9n -c ${CMAKE_BINARY_DIR}/packaging/changelog
            > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
    COMMENT "Compressing the changelog")
  add_custom_target(man_pages ALL DEPENDS ${compressed} ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${package_source}/copyright
                ${CMAKE_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${doc_destination})

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The dependencies are those dpkg-shlibdeps finds in the binaries.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_PACKAGE_DESCRIPTION
      "VELDAK shows a live table of registers of a Sy/Max or Modbus device (serial
Sy/Max, gateway, Modbus RTU and ASCII, Modbus TCP and RTU over TCP) and
writes the values typed; it also polls headless for scripts and logs.
VRX740SW fetches, edits and sends the configuration of a VRX740
record-storage module, loads and unloads its records, and backs it up and
restores it. Simulators of the devices on ptys and loopback TCP come with
them.")
endif()

set(CPACK_PACKAGE_NAME ${PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Veldak maintainers")
set(CPACK_PACKAGE_CONTACT ${PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PACKAGE_SUMMARY})
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/;/\\\\.git/;/\\\\.wine/")
include(CPack)
