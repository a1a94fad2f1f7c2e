# The format libraries the frame decoder loads the first time a frame needs
# them (src/decode/formatlibraries.cpp) instead of linking them: their
# headers, and the sonames of the libraries found here, which the decoder
# opens by name.
#
#   kestrin_use_format_libraries(TARGET) gives TARGET the headers and the
#   KESTRIN_SONAME_* definitions.

find_package(JPEG REQUIRED)
find_package(TIFF 4.5 REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(KESTRIN_WEBP_HEADERS REQUIRED libwebp libwebpdemux)
find_library(KESTRIN_WEBP_LIBRARY webp REQUIRED HINTS ${KESTRIN_WEBP_HEADERS_LIBRARY_DIRS})
find_library(KESTRIN_WEBPDEMUX_LIBRARY webpdemux REQUIRED HINTS ${KESTRIN_WEBP_HEADERS_LIBRARY_DIRS})
find_program(KESTRIN_OBJDUMP NAMES ${CMAKE_OBJDUMP} objdump REQUIRED)

# The soname recorded in the shared library `library` (the name the system's
# loader knows it by, e.g. libtiff.so.6).
function(kestrin_soname out library)
    execute_process(COMMAND ${KESTRIN_OBJDUMP} -p ${library} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
    string(REGEX MATCH "SONAME[ \t]+([^ \t\r\n]+)" found "${dump}")
    if(failed OR NOT CMAKE_MATCH_1)
        message(FATAL_ERROR "Cannot read the soname of ${library}")
    endif()
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()

list(GET JPEG_LIBRARIES 0 kestrin_jpeg_library)
kestrin_soname(KESTRIN_SONAME_JPEG ${kestrin_jpeg_library})
list(GET TIFF_LIBRARIES 0 kestrin_tiff_library)
kestrin_soname(KESTRIN_SONAME_TIFF ${kestrin_tiff_library})
kestrin_soname(KESTRIN_SONAME_WEBP ${KESTRIN_WEBP_LIBRARY})
kestrin_soname(KESTRIN_SONAME_WEBPDEMUX ${KESTRIN_WEBPDEMUX_LIBRARY})

function(kestrin_use_format_libraries target)
    target_include_directories(${target} PRIVATE ${JPEG_INCLUDE_DIRS} ${TIFF_INCLUDE_DIRS}
                                                 ${KESTRIN_WEBP_HEADERS_INCLUDE_DIRS})
    target_compile_definitions(${target} PRIVATE KESTRIN_SONAME_JPEG="${KESTRIN_SONAME_JPEG}"
                               KESTRIN_SONAME_TIFF="${KESTRIN_SONAME_TIFF}" KESTRIN_SONAME_WEBP="${KESTRIN_SONAME_WEBP}"
                               KESTRIN_SONAME_WEBPDEMUX="${KESTRIN_SONAME_WEBPDEMUX}")
    target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
endfunction()
