# What the releases hold beyond each program's own install rule: the zip
# library beside the programs, the links in bin/, the stand-ins as a
# component of their own, the Linux packages (CPack, DEB) and, in a Windows
# build, the release archive. "./run package" makes them all.

set(PORTELLE_PROGRAMS portelle portelle-import portelle-examine)

# The zip library the programs load from their own folder (zlibwapi.so here,
# zlibwapi.dll on Windows).
install(TARGETS zlibwapi LIBRARY DESTINATION ${PORTELLE_INSTALL_PROGRAM_DIR})
foreach(program IN LISTS PORTELLE_PROGRAMS)
  portelle_install_link(${program} portelle)
endforeach()

if(NOT WIN32)
  # The stand-ins lie beside the programs, as they do in the build's bin/:
  # portelle-import starts SvcCfgRunner from its own folder, and the zip code
  # of a Server Core system loads libPackDll from there. The services and the
  # cipher tool also get links in bin/.
  set(stand_in_programs bastionel-dbservice bastionel-logservice bastionel-encipher)
  install(TARGETS ${stand_in_programs} SvcCfgRunner
          RUNTIME DESTINATION ${PORTELLE_INSTALL_PROGRAM_DIR} COMPONENT stand_ins)
  install(TARGETS PackDll BsnPfwCommon
          LIBRARY DESTINATION ${PORTELLE_INSTALL_PROGRAM_DIR} COMPONENT stand_ins)
  foreach(program IN LISTS stand_in_programs)
    portelle_install_link(${program} stand_ins)
  endforeach()

  # The Debian packages "portelle" and "portelle-stand-ins", one per component:
  # cpack in the build folder writes portelle_VERSION_amd64.deb and
  # portelle-stand-ins_VERSION_amd64.deb. dpkg-shlibdeps names the libraries
  # they need. Each component's description gives its package's summary (the
  # first line) and long description; no project-wide summary is set, since
  # CPack would put it before each.
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME portelle)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_VENDOR "Portelle maintainers")
  set(CPACK_PACKAGE_CONTACT "Portelle maintainers <maintainers@users.noreply.c-seed-1b8198cc.example>")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_COMPONENTS_ALL portelle stand_ins)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  set(CPACK_DEBIAN_PORTELLE_PACKAGE_NAME portelle)
  set(CPACK_DEBIAN_STAND_INS_PACKAGE_NAME portelle-stand-ins)
  set(CPACK_DEBIAN_STAND_INS_PACKAGE_SECTION devel)
  set(CPACK_COMPONENT_STAND_INS_DEPENDS portelle)
  string(CONCAT CPACK_COMPONENT_PORTELLE_DESCRIPTION
    "Carries a Bastionel server's configuration to another installation\n"
    "Exports a Bastionel security server's domain tree, scan configurations, INI\n"
    "settings and firewall, alert and DLP files into one archive, and imports them\n"
    "into a 10.6 SP2 server: the dialog, the console export (portelle /c),\n"
    "portelle-import and portelle-examine, with their manual pages.")
  string(CONCAT CPACK_COMPONENT_STAND_INS_DESCRIPTION
    "Stand-ins of the Bastionel server's services and components for Portelle\n"
    "The database and log services, the firewall library, the setup program, the\n"
    "server's zip library and the INI value cipher, as Portelle's tests and demo\n"
    "use them in place of an installed Bastionel server.")
  include(CPack)
endif()

set(PORTELLE_RELEASE_ZIP_READY ${WIN32})
foreach(target IN LISTS PORTELLE_PROGRAMS)
  if(WIN32 AND NOT TARGET ${target})
    message(STATUS "No release archive: this build has no ${target}")
    set(PORTELLE_RELEASE_ZIP_READY OFF)
  endif()
endforeach()

if(PORTELLE_RELEASE_ZIP_READY)
  # The release archive portelle-VERSION-windows-x64.zip in
  # PORTELLE_RELEASE_DIR: the three programs, zlibwapi.dll, README.txt and
  # the licence texts of the libraries linked into them, in one folder.
  set(PORTELLE_RELEASE_DIR ${PROJECT_BINARY_DIR}/release CACHE PATH
      "Where the release archive is written")
  set(PORTELLE_RELEASE_NAME portelle-${PROJECT_VERSION}-windows-x64)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt.in
                 ${PROJECT_BINARY_DIR}/release-readme/README.txt @ONLY)
  set(files)
  foreach(program IN LISTS PORTELLE_PROGRAMS)
    list(APPEND files $<TARGET_FILE:${program}>)
  endforeach()
  list(APPEND files $<TARGET_FILE:zlibwapi> ${PROJECT_BINARY_DIR}/release-readme/README.txt)
  set(licenses)
  foreach(library zlib minizip protobuf)
    list(APPEND licenses ${PORTELLE_WINDOWS_DEPS}/share/licenses/${library}.txt)
  endforeach()
  add_custom_target(release_zip
    COMMAND ${CMAKE_COMMAND} -DNAME=${PORTELLE_RELEASE_NAME} -DOUT=${PORTELLE_RELEASE_DIR}
            -DSTAGE=${PROJECT_BINARY_DIR}/release-stage "-DFILES=${files}"
            "-DLICENSES=${licenses}" -P ${PROJECT_SOURCE_DIR}/cmake/WriteReleaseZip.cmake
    COMMENT "Writing ${PORTELLE_RELEASE_DIR}/${PORTELLE_RELEASE_NAME}.zip"
    VERBATIM)
  add_dependencies(release_zip ${PORTELLE_PROGRAMS} zlibwapi)
endif()
