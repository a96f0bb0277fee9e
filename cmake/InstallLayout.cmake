# Where "cmake --install" and the packages put Portelle.
#
# The programs load the zip library from their own folder: the folder their
# file lies in, links resolved (platform::GetProgramFolder). On Linux the
# programs therefore lie with the library in a private folder,
# PREFIX/libexec/portelle, and PREFIX/bin holds links to them; on Windows
# they lie in PREFIX/bin with zlibwapi.dll beside them.
#
# An install rule belongs to the component "portelle" unless it names
# another; the stand-ins of the server's services and components are the
# component "stand_ins" (cmake/Packaging.cmake).
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME portelle)
if(WIN32)
  set(PORTELLE_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_BINDIR})
else()
  set(PORTELLE_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_LIBEXECDIR}/portelle)
endif()
foreach(dir CMAKE_INSTALL_BINDIR PORTELLE_INSTALL_PROGRAM_DIR)
  if(IS_ABSOLUTE "${${dir}}")
    message(FATAL_ERROR "${dir} must be relative to the prefix (it is ${${dir}})")
  endif()
endforeach()

# portelle_install_link(PROGRAM COMPONENT): PREFIX/bin/PROGRAM, a relative
# link to the program in the private folder, so that it finds its libraries
# wherever the prefix is. Nothing to do where the programs lie in bin/.
function(portelle_install_link program component)
  if(PORTELLE_INSTALL_PROGRAM_DIR STREQUAL CMAKE_INSTALL_BINDIR)
    return()
  endif()
  file(RELATIVE_PATH target /${CMAKE_INSTALL_BINDIR} /${PORTELLE_INSTALL_PROGRAM_DIR}/${program})
  set(link ${PROJECT_BINARY_DIR}/install-links/${program})
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/install-links)
  file(CREATE_LINK ${target} ${link} SYMBOLIC)
  # A link is installed as a link.
  install(FILES ${link} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
endfunction()
