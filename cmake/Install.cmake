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

# The package's documents: its copyright, and the changelog and manual page compressed as Debian
# keeps them (gzip -9n: no name or time stamp, so the same input gives the same file).
set(doc_dir "${CMAKE_INSTALL_DATADIR}/doc/quorl-bank")
install(FILES data/copyright DESTINATION "${doc_dir}" COMPONENT app)
set(compressed_docs "")
foreach(doc changelog quorl-bank.1)
    set(gz "${CMAKE_BINARY_DIR}/doc/${doc}.gz")
    add_custom_command(OUTPUT "${gz}"
        COMMAND "${CMAKE_COMMAND}" -E copy "${CMAKE_SOURCE_DIR}/data/${doc}" "${CMAKE_BINARY_DIR}/doc/${doc}"
        COMMAND gzip -9nf "${CMAKE_BINARY_DIR}/doc/${doc}"
        DEPENDS "data/${doc}" VERBATIM)
    list(APPEND compressed_docs "${gz}")
endforeach()
add_custom_target(quorl_docs ALL DEPENDS ${compressed_docs})
install(FILES "${CMAKE_BINARY_DIR}/doc/changelog.gz" DESTINATION "${doc_dir}" COMPONENT app)
install(FILES "${CMAKE_BINARY_DIR}/doc/quorl-bank.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1"
        COMPONENT app)

if(QUORL_INSTALL_SERVICE)
    install(TARGETS quorl-service RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT service)
endif()
