# Run by CPack (CPACK_POST_BUILD_SCRIPTS) once the packages are written.
# The -dbgsym package that CMake 3.25's DEB generator makes lists absolute
# staging paths in its md5sums (so debsums and lintian find none of its files),
# ships the .debug files executable and has no /usr/share/doc entry. Unpack
# it, put those right the way Debian's own debug packages have them (md5sums
# of relative paths, 0644 files, the doc folder a link to the main package's,
# which it depends on), and pack it again.
find_program(DPKG_DEB dpkg-deb)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(NOT package MATCHES "/([^/_]+)-dbgsym_[^/]*\\.ddeb$")
        continue()
    endif()
    set(main_name "${CMAKE_MATCH_1}")
    if(NOT DPKG_DEB)
        message(FATAL_ERROR "repair-dbgsym: dpkg-deb is needed to repair ${package}")
    endif()
    set(root "${CPACK_TOPLEVEL_DIRECTORY}/dbgsym-repair")
    file(REMOVE_RECURSE "${root}")
    execute_process(COMMAND "${DPKG_DEB}" --raw-extract "${package}" "${root}" COMMAND_ERROR_IS_FATAL ANY)

    file(GLOB_RECURSE debug_files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/usr/*")
    list(SORT debug_files)
    set(md5sums "")
    foreach(file IN LISTS debug_files)
        file(CHMOD "${root}/${file}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
        file(MD5 "${root}/${file}" md5)
        string(APPEND md5sums "${md5}  ${file}\n")
    endforeach()
    file(WRITE "${root}/DEBIAN/md5sums" "${md5sums}")
    file(MAKE_DIRECTORY "${root}/usr/share/doc")
    file(CREATE_LINK "${main_name}" "${root}/usr/share/doc/${main_name}-dbgsym" SYMBOLIC)

    execute_process(COMMAND "${DPKG_DEB}" --root-owner-group --build "${root}" "${package}"
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${root}")
endforeach()
