# Runs at install time (see CMakeLists.txt): writes the launcher entry and the
# D-Bus activation file with the program's final path.
get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
set(MIRVOK_BIN "${prefix}/${MIRVOK_DESKTOP_BINDIR}/mirvok")
foreach(entry "applications/com.mirvok.Dict.desktop" "dbus-1/services/com.mirvok.Dict.service")
  get_filename_component(name "${entry}" NAME)
  get_filename_component(sub "${entry}" DIRECTORY)
  set(dest "$ENV{DESTDIR}${prefix}/${MIRVOK_DESKTOP_DATADIR}/${sub}")
  file(MAKE_DIRECTORY "${dest}")
  configure_file("${MIRVOK_DESKTOP_SOURCE}/${name}.in" "${dest}/${name}" @ONLY)
  file(CHMOD "${dest}/${name}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  message(STATUS "Installing: ${dest}/${name}")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${dest}/${name}")
endforeach()
