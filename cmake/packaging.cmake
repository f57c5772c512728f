# Debian packages made by CPack from the install components: libzelm1, libzelm-dev and zelm-tools.
#
# Configure with -DCMAKE_INSTALL_PREFIX=/usr (the libraries then go to the multiarch folder) and run
# cpack in the build folder; scripts/package.sh does both.
#
# libzelm1 depends on no platform package: the library names no platform library, and the host
# that links it brings its platform (the real one, or the stand-in of zelm-tools) and depends on
# it in its own package. The library's symbols file (abi/libzelm.symbols, kept in step with the
# library by scripts/abi.sh) and shlibs give a host package "libzelm1 (>= the version it needs)".

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelm)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "libzelm maintainers <libzelm@localhost>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL library development tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

# Depends from the binaries' own needs (libc6, and libstdc++6 for the stand-in and zelm-sim). The
# build folder is searched too, for the libraries zelm-sim needs that are not installed yet.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(ZELM_DEB_LIBRARY libzelm${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${ZELM_DEB_LIBRARY})
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIBRARY_DESCRIPTION "deployment model of the platform, published to the node agents
libzelm keeps the platform's locations, logic location groups, component types and
components, fed by configuration table messages and node-status reports, and publishes
them over RPC to the node agents. The host links the platform libraries beside it.")
# dpkg takes the control file by its name.
configure_file(${PROJECT_SOURCE_DIR}/abi/libzelm.symbols ${CMAKE_BINARY_DIR}/deb/symbols COPYONLY)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/deb/symbols)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libzelm-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${ZELM_DEB_LIBRARY} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "development files of libzelm
Headers of the library and of the platform interface it calls, the CMake package
(find_package(zelm): zelm::zelm) and the pkg-config file zelm.pc.")

# Its CMake target and zelm_standin.h complete libzelm-dev's files of the same version.
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME zelm-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${ZELM_DEB_LIBRARY} (>= ${PROJECT_VERSION}), libzelm-dev (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "stand-in platform for libzelm, and the simulator zelm-sim
libzelm_platform.so implements the platform interface on a virtual clock with
simulated node agents, for hosts and tests without the real platform
(zelm_standin.h, zelm::zelm_platform, zelm-platform.pc). zelm-sim runs the
library on it against a scenario and reports what every agent holds.")

include(CPack)
