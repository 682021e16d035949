# Every build checks the includes of the layers before it compiles them
# (cmake/check_layering.cmake), so a wrong-way include fails the build.
file(GLOB_RECURSE vostrel_layered_files CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/engine/*.h ${PROJECT_SOURCE_DIR}/engine/*.cpp
     ${PROJECT_SOURCE_DIR}/platform/*.h ${PROJECT_SOURCE_DIR}/platform/*.cpp
     ${PROJECT_SOURCE_DIR}/cli/*.h ${PROJECT_SOURCE_DIR}/cli/*.cpp
     ${PROJECT_SOURCE_DIR}/framework/*.h ${PROJECT_SOURCE_DIR}/framework/*.cpp
     ${PROJECT_SOURCE_DIR}/ui/*.h ${PROJECT_SOURCE_DIR}/ui/*.cpp)
set(vostrel_layering_stamp ${CMAKE_CURRENT_BINARY_DIR}/layering.checked)
add_custom_command(
  OUTPUT ${vostrel_layering_stamp}
  COMMAND ${CMAKE_COMMAND} -DVOSTREL_ROOT=${PROJECT_SOURCE_DIR}
          -P ${CMAKE_CURRENT_LIST_DIR}/check_layering.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${vostrel_layering_stamp}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/check_layering.cmake ${vostrel_layered_files}
  COMMENT "Checking which layer includes which")
# The engine depends on it, and every other target on the engine.
add_custom_target(vostrel_layering DEPENDS ${vostrel_layering_stamp})
