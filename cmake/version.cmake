# The project's version (project() in the top CMakeLists) as a header, for
# every target that shows it: vostrel-kit --version and its report, and
# Vostrel.exe's version resource and About box.
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in
               ${CMAKE_BINARY_DIR}/generated/vostrel_version.h @ONLY)
add_library(vostrel_version INTERFACE)
target_include_directories(vostrel_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
