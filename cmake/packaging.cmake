# Installation and packages: a zip of the Windows tools, a .deb of
# vostrel-kit for Linux. Included at the end of the top CMakeLists, once
# every executable target exists.
include(GNUInstallDirs)

set(VOSTREL_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/vostrel)

foreach(tool vostrel-kit Vostrel)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${VOSTREL_DOC_DIR} COMPONENT tools)

set(CPACK_PACKAGE_VENDOR "Vostrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Builds trimmed redistribution kits of an installation medium")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL tools)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # One zip holding bin\Vostrel.exe, bin\vostrel-kit.exe and the documents.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME vostrel)
  set(CPACK_SYSTEM_NAME win32)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME vostrel-kit)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vostrel maintainers <vostrel@localhost>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The summary above is the synopsis line; this is the long description.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "vostrel-kit copies the installer, tools, runtime, chosen packages and\ndrivers of an imaging library's installation medium into a kit folder.")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
