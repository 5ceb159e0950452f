# Writes a session service file per ProgID so that a session bus starts the reference server
# on demand. Needs SERVER and PROGIDS (comma-separated); JOURNAL_DIR, when given, is passed
# to the server; DIR is where the files go, by default the user's session service directory.
# Run by the target install-demo-services, and when installing the server's package.
if(NOT DIR)
  if("$ENV{XDG_DATA_HOME}" STREQUAL "")
    set(DIR "$ENV{HOME}/.local/share/dbus-1/services")
  else()
    set(DIR "$ENV{XDG_DATA_HOME}/dbus-1/services")
  endif()
endif()
if(JOURNAL_DIR)
  set(journal_option " --dir \"${JOURNAL_DIR}\"")
endif()
string(REPLACE "," ";" progids "${PROGIDS}")
foreach(progid IN LISTS progids)
  file(WRITE "${DIR}/${progid}.service"
    "[D-BUS Service]\nName=${progid}\nExec=\"${SERVER}\"${journal_option} ${progid}\n")
  message(STATUS "Service D-Bus écrit : ${DIR}/${progid}.service")
endforeach()
