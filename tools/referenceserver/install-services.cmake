# Writes a session service file per ProgID so that the user's session bus starts the reference
# server on demand. Run by the target install-demo-services with SERVER, JOURNAL_DIR and
# PROGIDS (comma-separated) defined.
if("$ENV{XDG_DATA_HOME}" STREQUAL "")
  set(dir "$ENV{HOME}/.local/share/dbus-1/services")
else()
  set(dir "$ENV{XDG_DATA_HOME}/dbus-1/services")
endif()
string(REPLACE "," ";" progids "${PROGIDS}")
foreach(progid IN LISTS progids)
  file(WRITE "${dir}/${progid}.service"
    "[D-BUS Service]\nName=${progid}\nExec=\"${SERVER}\" --dir \"${JOURNAL_DIR}\" ${progid}\n")
  message(STATUS "Service D-Bus écrit : ${dir}/${progid}.service")
endforeach()
