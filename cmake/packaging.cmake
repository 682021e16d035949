# Installation and packages: for Windows a zip and an installer of the tools,
# for Linux a .deb of vostrel-kit with its manual page and bash completion.
# Included at the end of the top CMakeLists, once every executable target
# exists. Every package carries the project's version (project()).
include(GNUInstallDirs)

# Who answers for the packages: the project's address in its repository's
# own name space.
set(VOSTREL_MAINTAINER "Vostrel maintainers <maintainers@users.noreply.c-seed-c3d27d2c.example>")

foreach(tool vostrel-kit Vostrel)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endforeach()

set(CPACK_PACKAGE_VENDOR "Vostrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Builds trimmed redistribution kits of an installation medium")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL tools)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vostrel COMPONENT tools)
  # A zip holding bin\Vostrel.exe, bin\vostrel-kit.exe and the documents, and
  # an installer of the same files into Program Files\Vostrel: a Start-menu
  # entry for Vostrel, an uninstaller, /S for a silent install.
  set(CPACK_GENERATOR ZIP NSIS)
  set(CPACK_PACKAGE_NAME vostrel)
  set(CPACK_SYSTEM_NAME win32)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY Vostrel)
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Vostrel)
  set(CPACK_PACKAGE_EXECUTABLES Vostrel Vostrel)
  set(CPACK_NSIS_DISPLAY_NAME Vostrel)
  set(CPACK_NSIS_PACKAGE_NAME Vostrel)  # also the Start-menu folder
  set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\Vostrel.exe)
  set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/res/vostrel.ico)
  set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/res/vostrel.ico)
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  set(CPACK_MONOLITHIC_INSTALL ON)  # one component: no page to choose it on
else()
  # Debian's places: the documents under the package's own name, the copyright
  # file in Debian's format around LICENSE's text, a changelog for this
  # version, the manual page and the completion made from the option table.
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/vostrel-kit)
  set(debian_dir ${CMAKE_BINARY_DIR}/debian)
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE copyright_line REGEX "^Copyright \\(c\\) " LIMIT_COUNT 1)
  string(REGEX REPLACE "^Copyright \\(c\\) " "" VOSTREL_COPYRIGHT "${copyright_line}")
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  string(FIND "${license}" "${copyright_line}" at)
  string(LENGTH "${copyright_line}" length)
  math(EXPR at "${at} + ${length}")
  string(SUBSTRING "${license}" ${at} -1 license)
  string(REGEX REPLACE "^\n+" "" license "${license}")
  string(REGEX REPLACE "\n+$" "" license "${license}")
  string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
  string(REGEX REPLACE "\n" "\n " VOSTREL_LICENSE_TEXT " ${license}")
  string(TIMESTAMP VOSTREL_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in ${debian_dir}/copyright @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${debian_dir}/changelog @ONLY)
  execute_process(COMMAND gzip -9nf ${debian_dir}/changelog COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${debian_dir}/copyright ${debian_dir}/changelog.gz
          DESTINATION ${doc_dir} COMPONENT tools)
  if(DEFINED VOSTREL_MANUAL)
    install(FILES ${VOSTREL_MANUAL} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
    install(FILES ${VOSTREL_COMPLETION}
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
            RENAME vostrel-kit COMPONENT tools)
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME vostrel-kit)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VOSTREL_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The summary above is the synopsis line; this is the long description.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "vostrel-kit copies the installer, tools, runtime, chosen packages and\ndrivers of an imaging library's installation medium into a kit folder.")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
