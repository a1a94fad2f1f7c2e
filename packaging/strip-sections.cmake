# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on its staging tree, before the DEB
# generator splits the debug information off into the -dbgsym package and
# strips the binaries. That strip keeps .comment (the compiler's name, once per
# object) and .note, which an installed binary never reads; remove them here,
# as Debian's own packaging tools do.
if(NOT CPACK_TEMPORARY_DIRECTORY OR NOT IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}")
    message(FATAL_ERROR "strip-sections: no staging tree (CPACK_TEMPORARY_DIRECTORY)")
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS files)
    if(IS_SYMLINK "${file}")
        continue()
    endif()
    file(READ "${file}" magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46") # "\x7fELF"
        continue()
    endif()
    execute_process(COMMAND "${CPACK_KESTRIN_OBJCOPY}" --remove-section=.comment --remove-section=.note "${file}"
                    RESULT_VARIABLE status ERROR_VARIABLE error)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "strip-sections: ${CPACK_KESTRIN_OBJCOPY} failed on ${file}: ${error}")
    endif()
endforeach()
