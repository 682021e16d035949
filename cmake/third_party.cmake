# The Debian packages the build uses. The host build takes their CMake
# packages; the cross build cannot (they describe host libraries and all of
# /usr/include), so it gets header-only CLI11 and nlohmann-json through a
# folder of their own and compiles googletest from its sources.

if(NOT CMAKE_CROSSCOMPILING)
  find_package(CLI11 CONFIG)
  find_package(nlohmann_json CONFIG)
  if(NOT CLI11_FOUND OR NOT nlohmann_json_FOUND)
    message(FATAL_ERROR "CLI11 or nlohmann-json (libcli11-dev, nlohmann-json3-dev) is missing: run scripts/setup")
  endif()
else()
  set(VOSTREL_VENDOR_INCLUDE ${CMAKE_BINARY_DIR}/vendor-include)
  foreach(dir CLI nlohmann)
    if(NOT EXISTS /usr/include/${dir})
      message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/setup")
    endif()
    file(MAKE_DIRECTORY ${VOSTREL_VENDOR_INCLUDE})
    file(CREATE_LINK /usr/include/${dir} ${VOSTREL_VENDOR_INCLUDE}/${dir} SYMBOLIC)
  endforeach()
  foreach(target CLI11::CLI11 nlohmann_json::nlohmann_json)
    add_library(${target} INTERFACE IMPORTED)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES
                                               ${VOSTREL_VENDOR_INCLUDE})
  endforeach()
endif()

if(BUILD_TESTING)
  if(NOT CMAKE_CROSSCOMPILING)
    find_package(GTest CONFIG)
    if(NOT GTest_FOUND)
      message(FATAL_ERROR "googletest (libgtest-dev, libgmock-dev) is missing: run scripts/setup")
    endif()
  else()
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    # Its targets carry the GTest:: names the host package gives.
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
endif()
