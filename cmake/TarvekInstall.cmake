# Where cmake --install and the Debian package put the programs:
#   lib/tarvek/   the programs, each finding its files beside its executable
#   bin/          links to the programs
#   share/        desktop entries, manual pages
# Each program's CMakeLists.txt calls tarvek_install_program beside its target.
include(GNUInstallDirs)

set(TARVEK_INSTALL_PKGDIR "lib/tarvek" CACHE STRING "Folder of the programs, relative to the prefix")
set(TARVEK_PACKAGING_SOURCE_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(TARVEK_PACKAGING_BINARY_DIR ${PROJECT_BINARY_DIR}/packaging)

# Installs `program` into lib/tarvek with its link in bin/, its manual page
# (compressed in packaging/) and, for a windowed one, its desktop entry.
function(tarvek_install_program program)
    install(TARGETS ${program} RUNTIME DESTINATION ${TARVEK_INSTALL_PKGDIR})
    # A stripped program (install --strip, cpack) also loses the compiler's notes.
    if(CMAKE_OBJCOPY)
        install(CODE "if(CMAKE_INSTALL_DO_STRIP)
            execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TARVEK_INSTALL_PKGDIR}/${program}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endif()")
    endif()
    set(links ${TARVEK_PACKAGING_BINARY_DIR}/links/bin)
    file(MAKE_DIRECTORY ${links})
    file(RELATIVE_PATH to_programs ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${TARVEK_INSTALL_PKGDIR})
    file(CREATE_LINK ${to_programs}/${program} ${links}/${program} SYMBOLIC)
    install(FILES ${links}/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${TARVEK_PACKAGING_BINARY_DIR}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    if(EXISTS ${TARVEK_PACKAGING_SOURCE_DIR}/${program}.desktop)
        install(FILES ${TARVEK_PACKAGING_SOURCE_DIR}/${program}.desktop
                DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    endif()
endfunction()
