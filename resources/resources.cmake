# Resource scripts (Windows builds only). The version numbers reach windres
# the same way they reach the compilers, as definitions; the pictures and
# the manifest are made in the build tree.

find_package(Python3 COMPONENTS Interpreter REQUIRED)

set(mp_res_src ${CMAKE_SOURCE_DIR}/resources)
set(mp_res_out ${CMAKE_BINARY_DIR}/resources)

# Rewritten only when the version changes: the resource steps depend on it,
# since a changed command line alone does not make them run again.
configure_file(${mp_res_src}/version.stamp.in ${mp_res_out}/version.stamp @ONLY)
# One manifest form for both programs. The window asks for the highest
# level the user has; the companion runs as its caller, so that a script or
# a redirected listing in an unelevated prompt is not stopped by elevation.
set(MP_MANIFEST_NAME ManagePlugins)
set(MP_MANIFEST_DESCRIPTION "Manage System registered Audio Plug-ins.")
set(MP_MANIFEST_LEVEL highestAvailable)
set(MP_MANIFEST_LEVEL_WHY "Every action writes to HKEY_CLASSES_ROOT or HKEY_LOCAL_MACHINE.")
configure_file(${mp_res_src}/manage_plugins.manifest.in ${mp_res_out}/manage_plugins.manifest @ONLY)
set(MP_MANIFEST_NAME manage-plugins-cli)
set(MP_MANIFEST_DESCRIPTION "Manage Plug-ins command-line companion")
set(MP_MANIFEST_LEVEL asInvoker)
set(MP_MANIFEST_LEVEL_WHY "Run from an elevated prompt to change the registry; a script's output stays in its console.")
configure_file(${mp_res_src}/manage_plugins.manifest.in ${mp_res_out}/manage_plugins_cli.manifest @ONLY)

list(TRANSFORM MP_VERSION_DEFINITIONS PREPEND -D OUTPUT_VARIABLE mp_rc_defines)

# Compiles a resource script into an object file to link into a program.
function(mp_compile_resources script object)
  add_custom_command(
    OUTPUT ${object}
    COMMAND ${CMAKE_RC_COMPILER} -O coff ${mp_rc_defines} -I ${mp_res_out} -I ${mp_res_src}
            -i ${script} -o ${object}
    DEPENDS ${script} ${mp_res_src}/version.h ${mp_res_out}/version.stamp ${ARGN}
    COMMENT "Compiling the resources of ${script}"
    VERBATIM)
endfunction()
