# The Debian package of tollimer-central (cmake --build build/native --target deb):
# tollimer-central_<version>_<arch>.deb in the build tree. Its version is the
# assistant's product version, read from the version resource that defines it.
file(STRINGS ${CMAKE_SOURCE_DIR}/src/resources/tollimer.rc TOLLIMER_VERSION_LINE
     REGEX "^#define TOLLIMER_VERSION_TEXT " LIMIT_COUNT 1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/resources/tollimer.rc)
string(REGEX REPLACE "^.*\"([0-9.]+)\".*$" "\\1" TOLLIMER_PRODUCT_VERSION "${TOLLIMER_VERSION_LINE}")

# debhelper compiles the service again with Debian's hardening flags, in
# deb-build of this tree.
add_custom_target(deb
  COMMAND ${CMAKE_SOURCE_DIR}/packaging/debian/build-deb ${TOLLIMER_PRODUCT_VERSION} ${CMAKE_BINARY_DIR}
  VERBATIM)

# `tollimer-central --version` and the build-info metric say the same
# version as the package; only the one file that reads it is rebuilt for it.
set_source_files_properties(src/central/base/build_info.cpp PROPERTIES
                            COMPILE_DEFINITIONS "TOLLIMER_CENTRAL_VERSION=\"${TOLLIMER_PRODUCT_VERSION}\"")
