# Debian's libdeflate sources, fetched with `apt-get source` into the build folder at
# configure time (scripts/deps.sh enables the deb-src entries) and compiled with the
# cross compiler. Defines the target qelvaro_libdeflate.
#
# The version and the SHA-256 of its three files are pinned: a release is built from
# exactly these sources. Another version is a warning here, and an error in a
# reproducible (release) build.
set(QELVARO_LIBDEFLATE_VERSION "1.14-1")
set(_ld_pinned
  "libdeflate_1.14-1.dsc=1f82791c5ac5623ed110e09cc991471deebfe4c419414392d1242e122c6f4c19"
  "libdeflate_1.14.orig.tar.gz=89e7df898c37c3427b0f39aadcf733731321a278771d20fc553f92da8d4808ac"
  "libdeflate_1.14-1.debian.tar.xz=4794c379cc4e77eaeb283620bd80a7ce57b858af508f80ba6d5efbc4bcb10434")
set(_ld_root "${CMAKE_BINARY_DIR}/third_party/libdeflate-src")
file(GLOB _ld_dirs LIST_DIRECTORIES true "${_ld_root}/libdeflate-*")
list(FILTER _ld_dirs EXCLUDE REGEX "\\.(tar|dsc|gz|xz)")
if(NOT _ld_dirs)
  file(MAKE_DIRECTORY "${_ld_root}")
  message(STATUS "Fetching Debian's libdeflate sources into ${_ld_root}")
  execute_process(COMMAND apt-get source -qq libdeflate=${QELVARO_LIBDEFLATE_VERSION}
                  WORKING_DIRECTORY "${_ld_root}"
                  RESULT_VARIABLE _ld_rc OUTPUT_VARIABLE _ld_out ERROR_VARIABLE _ld_out)
  file(GLOB _ld_dirs LIST_DIRECTORIES true "${_ld_root}/libdeflate-*")
  list(FILTER _ld_dirs EXCLUDE REGEX "\\.(tar|dsc|gz|xz)")
  if(NOT _ld_rc EQUAL 0 OR NOT _ld_dirs)
    message(FATAL_ERROR "apt-get source libdeflate failed (${_ld_rc}): ${_ld_out}\n"
                        "Run scripts/deps.sh (it enables deb-src) and apt-get update.")
  endif()
endif()
list(GET _ld_dirs 0 _ld_src)

set(_ld_differs "")
foreach(_ld_pin IN LISTS _ld_pinned)
  string(REPLACE "=" ";" _ld_pin "${_ld_pin}")
  list(GET _ld_pin 0 _ld_file)
  list(GET _ld_pin 1 _ld_want)
  if(EXISTS "${_ld_root}/${_ld_file}")
    file(SHA256 "${_ld_root}/${_ld_file}" _ld_have)
  else()
    set(_ld_have "missing")
  endif()
  if(NOT _ld_have STREQUAL _ld_want)
    string(APPEND _ld_differs "\n  ${_ld_file}: ${_ld_have}, pinned ${_ld_want}")
  endif()
endforeach()
if(_ld_differs)
  set(_ld_message "libdeflate's sources in ${_ld_root} are not the pinned Debian "
                  "${QELVARO_LIBDEFLATE_VERSION}:${_ld_differs}\n"
                  "Remove that folder to fetch them again, or update the pins in ${CMAKE_CURRENT_LIST_FILE}.")
  if(QELVARO_REPRODUCIBLE)
    message(FATAL_ERROR ${_ld_message})
  endif()
  message(WARNING ${_ld_message})
else()
  message(STATUS "libdeflate: Debian ${QELVARO_LIBDEFLATE_VERSION}, checksums match the pins")
endif()
set(QELVARO_LIBDEFLATE_SOURCE "${_ld_src}" CACHE INTERNAL "libdeflate's source folder")

add_library(qelvaro_libdeflate STATIC
  ${_ld_src}/lib/deflate_compress.c
  ${_ld_src}/lib/deflate_decompress.c
  ${_ld_src}/lib/crc32.c
  ${_ld_src}/lib/utils.c
  ${_ld_src}/lib/x86/cpu_features.c
  ${_ld_src}/lib/arm/cpu_features.c)
target_include_directories(qelvaro_libdeflate SYSTEM PUBLIC ${_ld_src})
# Their code, their warnings: keep our build output about our code.
target_compile_options(qelvaro_libdeflate PRIVATE -O2 -w)
