# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on its staging tree, before the DEB
# generator splits the debug information of every unstripped binary off into
# the -dbgsym package and strips it.
#
# That strip keeps .comment (the compiler's name, once per object) and .note,
# which an installed binary never reads: remove them here, as Debian's own
# packaging tools do. A binary built without debug information (a Release
# build) is stripped completely here, so no debug package is made of symbol
# tables alone.
if(NOT CPACK_TEMPORARY_DIRECTORY OR NOT IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}")
    message(FATAL_ERROR "prepare-binaries: no staging tree (CPACK_TEMPORARY_DIRECTORY)")
endif()

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        list(JOIN ARGN " " command)
        message(FATAL_ERROR "prepare-binaries: ${command} failed: ${output}")
    endif()
    set(output "${output}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS files)
    if(IS_SYMLINK "${file}")
        continue()
    endif()
    file(READ "${file}" magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46") # "\x7fELF"
        continue()
    endif()
    run("${CPACK_KESTRIN_READELF}" --section-headers --wide "${file}")
    if(output MATCHES " \\.debug_info ")
        run("${CPACK_KESTRIN_OBJCOPY}" --remove-section=.comment --remove-section=.note "${file}")
    else()
        run("${CPACK_KESTRIN_STRIP}" --remove-section=.comment --remove-section=.note "${file}")
    endif()
endforeach()
