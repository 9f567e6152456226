# CLI11 and nlohmann-json for the Windows build: both are header-only, and
# Debian has them for the build machine only (/usr/include/CLI,
# /usr/include/nlohmann). The cross build must not search the build machine's
# include folder as a whole, so it gets a folder of its own in the build tree
# that holds links to these two and nothing else, and the targets that
# find_package would make.
set(QORLOG_HOST_INCLUDE_DIR /usr/include CACHE PATH
  "Windows build: the build machine's include folder that holds CLI/ and nlohmann/ (Default: /usr/include)")
set(qorlog_header_only_dir ${CMAKE_BINARY_DIR}/header-only-include)
file(MAKE_DIRECTORY ${qorlog_header_only_dir})
foreach(name CLI nlohmann)
  if(NOT IS_DIRECTORY ${QORLOG_HOST_INCLUDE_DIR}/${name})
    message(FATAL_ERROR "${QORLOG_HOST_INCLUDE_DIR}/${name} is missing: install Debian's libcli11-dev and nlohmann-json3-dev")
  endif()
  file(CREATE_LINK ${QORLOG_HOST_INCLUDE_DIR}/${name} ${qorlog_header_only_dir}/${name} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${qorlog_header_only_dir})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${qorlog_header_only_dir})
