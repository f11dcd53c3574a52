# Packages. Natively: `cpack -G DEB` makes a Debian package of the saver
# (prefix /usr). In the win64 build: `cpack -G ZIP` makes the zip, and the
# `installer` target the NSIS installer. The version is PROJECT_VERSION.

set(CPACK_PACKAGE_NAME kelvara)
set(CPACK_PACKAGE_VENDOR "The Kelvara authors")
set(CPACK_PACKAGE_CONTACT "The Kelvara authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "3D screen saver that animates a picture of the desktop")
# Lines within 80 columns, as Debian's tools want them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Kelvara takes a picture of the desktop and animates it with OpenGL: the"
    "picture bursts into small tumbling boxes that split into smaller ones, or"
    "ripples as a lit, textured surface, while the camera swings and zooms."
    "It runs as a display program of XScreenSaver, or on its own, full screen"
    "or in a window; on Wayland compositors with layer-shell (sway and other"
    "wlroots compositors, KDE Plasma) an idle daemon such as swayidle starts it."
    "A hidden .desktop entry lets KDE's KWin hand it each screen's picture.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
# Only the program goes into the packages; the tests and tools install nothing.
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build/;/out/;/\\\\.git/")

if(WIN32)
    # The zip: the saver, the licence and how to install it, at its top level
    # (Windows' "Extract All" already makes the folder). Text files with CRLF
    # line ends, for any Notepad.
    install(TARGETS kelvara_scr RUNTIME DESTINATION .)
    configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt NEWLINE_STYLE CRLF)
    configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/README-Windows.txt
                   ${CMAKE_BINARY_DIR}/packaging/README-Windows.txt @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt ${CMAKE_BINARY_DIR}/packaging/README-Windows.txt
            DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME kelvara-${PROJECT_VERSION}-win64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

    # The installer, made with NSIS on this machine, carries the saver
    # stripped, as the zip does.
    set(KELVARA_INSTALLER ${CMAKE_BINARY_DIR}/kelvara-${PROJECT_VERSION}-win64-setup.exe)
    set(KELVARA_SHIPPED_SCR ${CMAKE_BINARY_DIR}/packaging/kelvara.scr)
    add_custom_command(OUTPUT ${KELVARA_SHIPPED_SCR}
        COMMAND ${CMAKE_STRIP} -o ${KELVARA_SHIPPED_SCR} $<TARGET_FILE:kelvara_scr>
        DEPENDS kelvara_scr
        VERBATIM)
    find_program(MAKENSIS makensis)
    if(MAKENSIS)
        configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/kelvara.nsi.in
                       ${CMAKE_BINARY_DIR}/packaging/kelvara.nsi @ONLY)
        add_custom_command(OUTPUT ${KELVARA_INSTALLER}
            COMMAND ${MAKENSIS} -V2 -NOCD
                    "-DKELVARA_SCR=${KELVARA_SHIPPED_SCR}"
                    "-DKELVARA_LICENSE=${CMAKE_BINARY_DIR}/packaging/LICENSE.txt"
                    "-DKELVARA_OUT=${KELVARA_INSTALLER}"
                    ${CMAKE_BINARY_DIR}/packaging/kelvara.nsi
            DEPENDS ${KELVARA_SHIPPED_SCR} ${CMAKE_BINARY_DIR}/packaging/kelvara.nsi
                    ${CMAKE_SOURCE_DIR}/resources/kelvara.ico
                    ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
            COMMENT "Making the installer kelvara-${PROJECT_VERSION}-win64-setup.exe"
            VERBATIM)
        add_custom_target(installer ALL DEPENDS ${KELVARA_INSTALLER})
    else()
        message(STATUS "makensis not found: no Windows installer (scripts/setup installs nsis)")
    endif()
else()
    include(GNUInstallDirs)
    # The licence where Debian keeps it, in its machine-readable copyright form.
    file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence_text)
    string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" copyright_line "${licence_text}")
    set(copyright_holder "${CMAKE_MATCH_1}")
    string(REGEX REPLACE "\n+$" "" licence_text "${licence_text}")
    string(REGEX REPLACE "\n\n" "\n.\n" licence_text "${licence_text}")
    string(REGEX REPLACE "\n" "\n " licence_text "${licence_text}")
    file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/packaging/copyright CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: kelvara

Files: *
Copyright: ${copyright_holder}
License: Expat
 ${licence_text}
")
    install(FILES ${CMAKE_BINARY_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION x11)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Kelvara authors")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver, swayidle")
    set(CPACK_DEBIAN_PACKAGE_ENHANCES "xscreensaver")
    # Manual pages go in compressed, as Debian's policy asks; the staged tree
    # is compressed just before it is packed.
    set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/packaging_compress_man.cmake)
endif()

include(CPack)

# ---- Tests of the packages ---------------------------------------------------
if(KELVARA_TESTS)
    set(package_tests ${CMAKE_SOURCE_DIR}/tests/package)
    if(WIN32)
        add_test(NAME win64.package.zip
                 COMMAND sh ${package_tests}/zip_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
        add_test(NAME win64.package.installer
                 COMMAND ${CMAKE_SOURCE_DIR}/scripts/with-xvfb sh ${package_tests}/installer_test.sh
                         ${KELVARA_INSTALLER} ${KELVARA_SHIPPED_SCR} ${PROJECT_VERSION} ${CMAKE_BINARY_DIR})
        set_tests_properties(win64.package.zip PROPERTIES TIMEOUT 300)
        set_tests_properties(win64.package.installer PROPERTIES TIMEOUT 600)
    else()
        # Installs into the real system (needs root): one at a time, also
        # across build folders (the script takes a lock of its own too).
        add_test(NAME native.package.deb
                 COMMAND sh ${package_tests}/deb_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION}
                         ${KELVARA_OPTION_FILE} ${CMAKE_SOURCE_DIR}/scripts/with-kwin)
        set_tests_properties(native.package.deb PROPERTIES
            TIMEOUT 900 SKIP_RETURN_CODE 77 RESOURCE_LOCK system_packages)
    endif()
endif()
