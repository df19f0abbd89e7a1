# cmake --install build --prefix PREFIX
#
# The program looks for dbBlank.sqlite in its own folder (the folder of the
# resolved executable), so both live in PREFIX/libexec/corvanta and
# PREFIX/bin/corvanta is a relative symbolic link to the program there.
include(GNUInstallDirs)

set(CORVANTA_APP_ID com.quillmark.Corvanta)
set(CORVANTA_PROGRAM_DIR ${CMAKE_INSTALL_LIBEXECDIR}/corvanta)

install(TARGETS corvanta RUNTIME DESTINATION ${CORVANTA_PROGRAM_DIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/dbBlank.sqlite DESTINATION ${CORVANTA_PROGRAM_DIR})

file(RELATIVE_PATH CORVANTA_LINK_TARGET
    /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CORVANTA_PROGRAM_DIR}/corvanta)
install(CODE "
    set(bin_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${bin_dir}\")
    message(STATUS \"Installing: \${bin_dir}/corvanta -> ${CORVANTA_LINK_TARGET}\")
    file(CREATE_LINK \"${CORVANTA_LINK_TARGET}\" \"\${bin_dir}/corvanta\" SYMBOLIC)
")

foreach(size IN ITEMS 16 22 24 32 48 64 128 256)
    install(FILES data/icons/corvanta-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME ${CORVANTA_APP_ID}.png)
endforeach()
install(FILES data/icons/${CORVANTA_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES data/desktop/${CORVANTA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/desktop/${CORVANTA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
