# Windows resources of a Kestrin executable: the application icon (id 101), the manifest and the
# version block.
#
#   include(cmake/KestrinResources.cmake)       # from the top-level CMakeLists.txt
#   kestrin_add_resources(<target> <execution level>)
#   kestrin_add_resources(TARGET <target> EXECUTION_LEVEL <execution level>)
#
# <target> is an executable target that already exists (it may be defined in another directory).
# <execution level> is the manifest's requestedExecutionLevel: requireAdministrator for the
# program, asInvoker for test programs that must run unelevated, or highestAvailable.
#
# The icon is drawn at build time by tools/icon/make-icon.py (python3 is needed for Windows
# builds only) into <build>/resources/kestrin.ico, once for all targets. The manifest and the
# resource script are configured into <target binary dir>/<target>-resources/, one pair per
# target, and the script is added to the target's sources, so the resource compiler (windres or
# rc) builds it with the target and the linker embeds it. The version shown in the file's
# properties is KESTRIN_VERSION when set, else PROJECT_VERSION, else 1.0.0.0.
#
# On other systems the function does nothing: the resources exist only for Windows executables.

get_filename_component(KESTRIN_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

function(kestrin_add_resources)
    if(ARGC GREATER 0 AND ARGV0 STREQUAL "TARGET")
        cmake_parse_arguments(PARSE_ARGV 0 arg "" "TARGET;EXECUTION_LEVEL" "")
        if(arg_UNPARSED_ARGUMENTS)
            message(FATAL_ERROR "kestrin_add_resources: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
        endif()
        set(target ${arg_TARGET})
        set(level ${arg_EXECUTION_LEVEL})
    elseif(ARGC EQUAL 2)
        set(target ${ARGV0})
        set(level ${ARGV1})
    else()
        message(FATAL_ERROR "usage: kestrin_add_resources(<target> <execution level>)")
    endif()

    if(NOT TARGET ${target})
        message(FATAL_ERROR "kestrin_add_resources: no target named \"${target}\"")
    endif()
    if(NOT level MATCHES "^(asInvoker|requireAdministrator|highestAvailable)$")
        message(FATAL_ERROR "kestrin_add_resources(${target}): the execution level must be "
            "asInvoker, requireAdministrator or highestAvailable, not \"${level}\"")
    endif()
    if(NOT WIN32)
        return()
    endif()
    if(NOT CMAKE_RC_COMPILER_LOADED)
        message(FATAL_ERROR "kestrin_add_resources(${target}): the RC language is not enabled, "
            "so the resource script cannot be compiled; call enable_language(RC) at the top level")
    endif()

    # The icon: one generated file for every target that asks for resources.
    set(icon ${CMAKE_BINARY_DIR}/resources/kestrin.ico)
    if(NOT TARGET kestrin_icon)
        find_program(KESTRIN_PYTHON3 NAMES python3)
        if(NOT KESTRIN_PYTHON3)
            message(FATAL_ERROR "python3 was not found: it draws the application icon "
                "(tools/icon/make-icon.py) for the Windows build. Install it (Debian: "
                "apt-get install python3) or set KESTRIN_PYTHON3 to its path.")
        endif()
        set(script ${KESTRIN_RESOURCES_DIR}/tools/icon/make-icon.py)
        add_custom_command(OUTPUT ${icon}
            COMMAND ${KESTRIN_PYTHON3} ${script} ${icon}
            DEPENDS ${script}
            COMMENT "Drawing the application icon"
            VERBATIM)
        add_custom_target(kestrin_icon DEPENDS ${icon})
    endif()

    # Version numbers: four parts, missing ones 0.
    if(DEFINED KESTRIN_VERSION)
        set(version ${KESTRIN_VERSION})
    elseif(PROJECT_VERSION)
        set(version ${PROJECT_VERSION})
    else()
        set(version 1.0.0.0)
    endif()
    string(REPLACE "." ";" parts "${version}")
    list(LENGTH parts count)
    while(count LESS 4)
        list(APPEND parts 0)
        math(EXPR count "${count} + 1")
    endwhile()
    list(SUBLIST parts 0 4 parts)
    list(JOIN parts "." KESTRIN_VERSION_QUAD)
    list(JOIN parts "," KESTRIN_VERSION_COMMAS)

    get_target_property(output_name ${target} OUTPUT_NAME)
    if(NOT output_name)
        set(output_name ${target})
    endif()
    set(KESTRIN_OUTPUT_NAME ${output_name})
    # Assembly names allow letters, digits, dots, hyphens and underscores.
    string(REGEX REPLACE "[^A-Za-z0-9._-]" "_" KESTRIN_MANIFEST_NAME "${target}")
    set(KESTRIN_EXECUTION_LEVEL ${level})
    set(KESTRIN_ICON_FILE ${icon})

    get_target_property(binary_dir ${target} BINARY_DIR)
    set(out ${binary_dir}/${target}-resources)
    set(KESTRIN_MANIFEST_FILE ${out}/${target}.manifest)
    set(rc ${out}/${target}.rc)
    configure_file(${KESTRIN_RESOURCES_DIR}/app/kestrin.manifest.in ${KESTRIN_MANIFEST_FILE} @ONLY)
    configure_file(${KESTRIN_RESOURCES_DIR}/app/kestrin.rc.in ${rc} @ONLY)

    target_sources(${target} PRIVATE ${rc})
    # The resource compiler reports no dependencies of its own: name the files the script
    # embeds, so that a new icon or manifest rebuilds the resources.
    set_source_files_properties(${rc} TARGET_DIRECTORY ${target}
        PROPERTIES OBJECT_DEPENDS "${icon};${KESTRIN_MANIFEST_FILE}")
    add_dependencies(${target} kestrin_icon)
endfunction()
