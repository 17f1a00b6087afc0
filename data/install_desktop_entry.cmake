# Run by cmake --install and cpack: writes the desktop entry with Exec naming the executable by the absolute
# path it is installed to, which is known only now. KWin grants fake input (the paste on Plasma) only to
# the program whose path an entry names; a bare name found on PATH is refused.
set(VELMORA_EXECUTABLE "${CMAKE_INSTALL_PREFIX}/${VELMORA_BINDIR}/velmora")
# The desktop entry's quoting, needed only for characters beyond these.
if(NOT VELMORA_EXECUTABLE MATCHES "^[A-Za-z0-9/._+-]+$")
    string(REGEX REPLACE "([\\\\\"`$])" "\\\\\\1" VELMORA_EXECUTABLE "${VELMORA_EXECUTABLE}")
    string(REPLACE "%" "%%" VELMORA_EXECUTABLE "${VELMORA_EXECUTABLE}")
    set(VELMORA_EXECUTABLE "\"${VELMORA_EXECUTABLE}\"")
endif()
configure_file("${VELMORA_DESKTOP_ENTRY}" "${VELMORA_DATA_BINARY_DIR}/com.hollin.velmora.desktop" @ONLY)
file(INSTALL "${VELMORA_DATA_BINARY_DIR}/com.hollin.velmora.desktop"
    DESTINATION "${CMAKE_INSTALL_PREFIX}/${VELMORA_DATADIR}/applications")
