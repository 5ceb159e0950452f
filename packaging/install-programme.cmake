# Run when installing: the program and its neighbours in their own folder, and the launcher
# on the PATH. Needs TIRVANO_PROGRAMS (files), TIRVANO_LAUNCHER (template), TIRVANO_STAGE
# (a scratch folder) and TIRVANO_STRIP (the command).

# The settings and the report are written beside the program, so its folder must be one its
# operators can write: an add-on folder under /opt for a system-wide install (the package),
# a folder under the prefix otherwise (an install of one's own).
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(folder /opt/inventaire-tirvano)
else()
  set(folder "${CMAKE_INSTALL_PREFIX}/lib/inventaire-tirvano")
endif()

file(INSTALL ${TIRVANO_PROGRAMS} DESTINATION "${folder}" USE_SOURCE_PERMISSIONS)
if(CMAKE_INSTALL_DO_STRIP)
  foreach(program IN LISTS TIRVANO_PROGRAMS)
    get_filename_component(name "${program}" NAME)
    execute_process(COMMAND ${TIRVANO_STRIP} "$ENV{DESTDIR}${folder}/${name}" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endif()

configure_file("${TIRVANO_LAUNCHER}" "${TIRVANO_STAGE}/bin/inventaire-tirvano" @ONLY)
file(INSTALL "${TIRVANO_STAGE}/bin/inventaire-tirvano" DESTINATION "${CMAKE_INSTALL_PREFIX}/bin"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
