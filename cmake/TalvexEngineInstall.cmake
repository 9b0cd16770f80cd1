# Install rules of the table engine for other programs (component "engine"):
# the versioned library, c4dll.h, a relocatable pkg-config file, a short
# README and an example program. scripts/package engine makes the archive;
# tests/package/engine_archive_test builds the example against it.
include(GNUInstallDirs)

function(talvex_engine_install)
  if(NOT TARGET c4dll OR WIN32)
    return()
  endif()
  install(TARGETS c4dll
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT engine
                  NAMELINK_COMPONENT engine)
  install(FILES ${PROJECT_SOURCE_DIR}/engine/include/c4dll.h
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT engine)

  set(pcdir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  file(RELATIVE_PATH TALVEX_PC_UP /root/${pcdir} /root)
  set(out ${CMAKE_BINARY_DIR}/generated/engine)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/engine/c4dll.pc.in ${out}/c4dll.pc @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/engine/README.txt ${out}/README.txt @ONLY)
  install(FILES ${out}/c4dll.pc DESTINATION ${pcdir} COMPONENT engine)
  install(FILES ${out}/README.txt DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/c4dll COMPONENT engine)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/engine/example.c
                ${PROJECT_SOURCE_DIR}/packaging/engine/Makefile
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/c4dll/example COMPONENT engine)
endfunction()
