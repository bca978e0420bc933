# Run by "cmake --install" and by cpack: writes velmorjob@.service naming the
# binary under the prefix being installed to, which is known only then
# ("cmake --install --prefix DIR", /usr in the package), and installs it
# beside the timer. Set before it runs: VELMORJOB_UNIT_TEMPLATE, the unit's
# source; VELMORJOB_UNIT_OUTPUT, where to write it; VELMORJOB_INSTALL_BINDIR,
# the binary's directory (under the prefix unless absolute); and
# VELMORJOB_UNIT_DIR, the units' directory under the prefix.

if(IS_ABSOLUTE "${VELMORJOB_INSTALL_BINDIR}")
  set(bindir "${VELMORJOB_INSTALL_BINDIR}")
else()
  set(bindir "${CMAKE_INSTALL_PREFIX}/${VELMORJOB_INSTALL_BINDIR}")
endif()
get_filename_component(binary "${bindir}/velmorjob" ABSOLUTE)

# systemd takes no quote, backslash or control character (a tab among them)
# in the path of a program; a "%" is written "%%", and a path with a space
# goes in quotes.
string(ASCII 1 first_control)
string(ASCII 31 last_control)
string(ASCII 127 delete)
if(binary MATCHES "[\"\\\\${first_control}-${last_control}${delete}]")
  message(FATAL_ERROR "velmorjob@.service cannot run \"${binary}\": systemd takes no quote, "
                      "backslash or control character in a program's path; install under "
                      "another prefix")
endif()
string(REPLACE "%" "%%" VELMORJOB_UNIT_BINARY "${binary}")
if(VELMORJOB_UNIT_BINARY MATCHES " ")
  set(VELMORJOB_UNIT_BINARY "\"${VELMORJOB_UNIT_BINARY}\"")
endif()

# Written in a folder of this install's own, so that installs of the same
# build tree side by side (the package's and a test's, say) each install
# their own unit.
string(RANDOM LENGTH 16 install_id)
get_filename_component(unit_name "${VELMORJOB_UNIT_OUTPUT}" NAME)
set(unit_folder "${VELMORJOB_UNIT_OUTPUT}.${install_id}")
configure_file("${VELMORJOB_UNIT_TEMPLATE}" "${unit_folder}/${unit_name}" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${VELMORJOB_UNIT_DIR}" TYPE FILE
     FILES "${unit_folder}/${unit_name}")
file(REMOVE_RECURSE "${unit_folder}")
