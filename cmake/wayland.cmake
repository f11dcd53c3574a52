# The Wayland host: found when the build machine has wayland-client,
# wayland-egl, EGL, wayland-scanner and the protocol files; without them the
# saver is built for X11 alone (the *_wayland and *_egl sources are left out).
#
# Sets KELVARA_WAYLAND and, when on, the target kelvara_wayland_protocols: the
# protocols' C glue, compiled as C, and their client headers in the build
# folder.

set(KELVARA_WAYLAND OFF)
if(WIN32)
    return()
endif()
pkg_check_modules(WAYLAND IMPORTED_TARGET wayland-client wayland-egl)
find_program(WAYLAND_SCANNER wayland-scanner)
find_package(OpenGL COMPONENTS EGL)
pkg_get_variable(wayland_protocols_dir wayland-protocols pkgdatadir)

# The wlr protocols come with the Rust bindings' source package on Debian
# (librust-wayland-protocols-dev), which carries the stable and unstable ones
# too; the wayland-protocols package is taken first where it is installed.
file(GLOB rust_protocols LIST_DIRECTORIES true /usr/share/cargo/registry/wayland-protocols-*)
set(protocol_dirs)
if(wayland_protocols_dir)
    list(APPEND protocol_dirs ${wayland_protocols_dir})
endif()
foreach(dir IN LISTS rust_protocols)
    list(APPEND protocol_dirs ${dir}/wlr-protocols ${dir}/protocols)
endforeach()
# KWin's older idle protocol, which sway 1.7 offers instead of ext-idle-notify.
find_package(PlasmaWaylandProtocols QUIET)
if(PlasmaWaylandProtocols_FOUND)
    list(APPEND protocol_dirs ${PLASMA_WAYLAND_PROTOCOLS_DIR})
endif()

set(KELVARA_WAYLAND_PROTOCOLS
    "layer_shell:unstable/wlr-layer-shell-unstable-v1.xml"
    "screencopy:unstable/wlr-screencopy-unstable-v1.xml"
    "output_power:unstable/wlr-output-power-management-unstable-v1.xml"
    "xdg_output:unstable/xdg-output/xdg-output-unstable-v1.xml"
    "xdg_shell:stable/xdg-shell/xdg-shell.xml"
    "idle_notify:staging/ext-idle-notify/ext-idle-notify-v1.xml"
    "kde_idle:idle.xml")
set(missing)
set(protocol_files)
foreach(entry IN LISTS KELVARA_WAYLAND_PROTOCOLS)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 key)
    list(GET parts 1 relative)
    unset(KELVARA_PROTOCOL_${key} CACHE)
    find_file(KELVARA_PROTOCOL_${key} NAMES ${relative} PATHS ${protocol_dirs} NO_DEFAULT_PATH)
    if(NOT KELVARA_PROTOCOL_${key})
        list(APPEND missing ${relative})
    else()
        list(APPEND protocol_files ${KELVARA_PROTOCOL_${key}})
    endif()
endforeach()
if(NOT WAYLAND_FOUND OR NOT WAYLAND_SCANNER OR NOT OpenGL_EGL_FOUND)
    list(APPEND missing "wayland-client/wayland-egl/EGL/wayland-scanner")
endif()
if(missing)
    message(STATUS "Wayland: not built (missing: ${missing}); scripts/setup installs what it needs")
    return()
endif()

set(protocol_out ${CMAKE_BINARY_DIR}/generated/protocols)
file(MAKE_DIRECTORY ${protocol_out})
set(protocol_sources)
set(protocol_headers)
foreach(xml IN LISTS protocol_files)
    get_filename_component(base ${xml} NAME_WE)
    set(header ${protocol_out}/${base}-client-protocol.h)
    set(code ${protocol_out}/${base}-protocol.c)
    # The layer-shell header names a parameter `namespace`, which C++ cannot
    # read: renamed as the header is written, the same call either way.
    add_custom_command(OUTPUT ${header} ${code}
        COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${header}
        COMMAND sed -i -e "s/\\bnamespace\\b/name_space/g" ${header}
        COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
        DEPENDS ${xml}
        VERBATIM)
    list(APPEND protocol_sources ${code})
    list(APPEND protocol_headers ${header})
endforeach()
add_library(kelvara_wayland_protocols STATIC ${protocol_sources} ${protocol_headers})
set_target_properties(kelvara_wayland_protocols PROPERTIES LINKER_LANGUAGE C)
target_include_directories(kelvara_wayland_protocols PUBLIC ${protocol_out})
target_link_libraries(kelvara_wayland_protocols PUBLIC PkgConfig::WAYLAND)
set(KELVARA_WAYLAND ON)
message(STATUS "Wayland: built (protocols from ${protocol_files})")
