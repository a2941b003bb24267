# Install rules: the program, its desktop entry, icons and AppStream metainfo. The local service
# goes in only with QUORL_INSTALL_SERVICE (its own "service" component).
include(GNUInstallDirs)

set(QUORL_APP_ID "bank.quorl.QuorlBank")
option(QUORL_INSTALL_SERVICE "Install the local stand-in service (component 'service')" OFF)

install(TARGETS quorl-bank RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT app)
install(FILES "data/${QUORL_APP_ID}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications" COMPONENT app)
install(FILES "data/${QUORL_APP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" COMPONENT app)
install(FILES "data/${QUORL_APP_ID}.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps" COMPONENT app)

# PNG icons are rendered from the SVG at build time; no binary is committed.
find_program(RSVG_CONVERT_EXECUTABLE rsvg-convert REQUIRED)
set(icon_svg "${CMAKE_SOURCE_DIR}/data/${QUORL_APP_ID}.svg")
set(icon_pngs "")
foreach(size 16 22 24 32 48 64 128 256)
    set(png "${CMAKE_BINARY_DIR}/icons/${size}x${size}/${QUORL_APP_ID}.png")
    add_custom_command(OUTPUT "${png}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/icons/${size}x${size}"
        COMMAND "${RSVG_CONVERT_EXECUTABLE}" -w ${size} -h ${size} -o "${png}" "${icon_svg}"
        DEPENDS "${icon_svg}" VERBATIM)
    list(APPEND icon_pngs "${png}")
    install(FILES "${png}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
            COMPONENT app)
endforeach()
add_custom_target(quorl_icons ALL DEPENDS ${icon_pngs})

if(QUORL_INSTALL_SERVICE)
    install(TARGETS quorl-service RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT service)
endif()
