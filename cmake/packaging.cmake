# Debian packages, made from the build tree with `cpack -G DEB`:
#   quorlen      the two programs, their manual pages and unquorlen's bash completion
#                (install component "programs")
#   quorlen-dev  headers, libraries, the CMake package and the pkg-config file
#                (install component "dev")
# Both install under /usr; the CMake package and the pkg-config file find the
# libraries relative to themselves, so the unpacked tree works from any folder.

install(FILES ${PROJECT_SOURCE_DIR}/completion/unquorlen
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT programs)

# Debian keeps a package's licence in /usr/share/doc/<package>/copyright.
if(EXISTS ${PROJECT_SOURCE_DIR}/LICENSE)
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  foreach(component_package IN ITEMS programs:quorlen dev:quorlen-dev)
    string(REPLACE ":" ";" component_package ${component_package})
    list(GET component_package 0 component)
    list(GET component_package 1 package)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
      RENAME copyright COMPONENT ${component})
  endforeach()
endif()

if(QUORLEN_BUILD_TESTS)
  add_test(NAME bash_completion COMMAND bash ${PROJECT_SOURCE_DIR}/tests/packages/completion_test.sh
    ${PROJECT_SOURCE_DIR}/completion/unquorlen)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorlen)
set(CPACK_PACKAGE_VENDOR "quorlen developers")
set(CPACK_PACKAGE_CONTACT "quorlen developers <quorlen@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL programs dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME quorlen)
# First line: the summary; CPack indents the lines after it.
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION "grammar-based file compressor
quorlen compresses a file by repeatedly replacing its most frequent pair of
adjacent symbols with a rule; unquorlen restores the file.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME quorlen-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION "grammar-based compression library: development files
The quorlen library compresses and restores byte strings in memory and reads
any byte range of a stream. This package holds the C++ headers, the libraries,
a CMake package (find_package(quorlen)) and a pkg-config file.")

include(CPack)
