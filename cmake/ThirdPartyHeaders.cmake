# The header-only libraries the tools use, from Debian: CLI11 (libcli11-dev)
# and nlohmann-json (nlohmann-json3-dev). Both live in /usr/include, which the
# mingw builds must never search (glibc's headers would shadow mingw's), so
# each gets a folder of its own in the build tree holding one link to its
# headers, and a target carrying that folder as a SYSTEM include (their
# warnings are not ours to fix under -Werror).
#
# bda_third_party_headers(TARGET DIR HEADER PACKAGE): TARGET gets
# ${CMAKE_BINARY_DIR}/third_party/TARGET, where DIR links to /usr/include/DIR;
# configure stops when /usr/include/DIR/HEADER is missing.
function(bda_third_party_headers target dir header package)
  set(source /usr/include/${dir})
  if(NOT EXISTS ${source}/${header})
    message(FATAL_ERROR "${source}/${header} is missing: install the Debian package ${package} "
                        "(scripts/bootstrap installs it)")
  endif()
  set(root ${CMAKE_BINARY_DIR}/third_party/${target})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${source} ${root}/${dir} SYMBOLIC)
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${root})
endfunction()

bda_third_party_headers(bda_cli11 CLI CLI.hpp libcli11-dev)
bda_third_party_headers(bda_json nlohmann json.hpp nlohmann-json3-dev)
