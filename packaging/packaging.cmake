# Debian packages made by `cpack` in the build directory, one per install
# component. Component `vok` holds the programs (installed by the top-level
# CMakeLists.txt), their manual pages, the examples, the copyright file and
# the Debian changelog. Another package is one more component: its install
# rules with COMPONENT <name>, its name in VOK_PACKAGE_COMPONENTS and its
# CPACK_DEBIAN_<NAME>_... settings below.

set(VOK_DEBIAN_RELEASE 1)
set(VOK_MAINTAINER "vok developers <vok-developers@users.noreply.github.com>")
set(VOK_PACKAGE_COMPONENTS vok)
# Package python3-vok (component `python`, python/CMakeLists.txt): the Python
# package, when it is built.
if(VOK_BUILD_PYTHON)
  list(APPEND VOK_PACKAGE_COMPONENTS python)
endif()

# The changelog names the version the package carries.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^vok \\(${PROJECT_VERSION}-${VOK_DEBIAN_RELEASE}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog does not start with version "
                      "${PROJECT_VERSION}-${VOK_DEBIAN_RELEASE}: ${changelog_head}")
endif()

# Manual pages and the changelog are installed compressed, as Debian does it
# (gzip -9n: best compression, no name or time stamp in the file).
set(vok_gzipped)
foreach(source docs/vok.1 docs/vok-plot.1 packaging/debian/changelog)
  get_filename_component(name ${source} NAME)
  if(name STREQUAL "changelog")
    set(name changelog.Debian)
  endif()
  set(gz ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/${source} > ${gz}
    DEPENDS ${CMAKE_SOURCE_DIR}/${source} VERBATIM)
  list(APPEND vok_gzipped ${gz})
endforeach()
add_custom_target(vok-compressed-docs ALL DEPENDS ${vok_gzipped})

set(vok_doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/vok)
install(FILES ${CMAKE_BINARY_DIR}/packaging/vok.1.gz ${CMAKE_BINARY_DIR}/packaging/vok-plot.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT vok)
install(FILES packaging/debian/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
        DESTINATION ${vok_doc} COMPONENT vok)
# The example's control and data files, not the outputs of running it there.
install(FILES examples/Runvok.cnl examples/runA.cnl examples/runB.cnl examples/example.dat
              examples/make_example_data.py
        DESTINATION ${vok_doc}/examples COMPONENT vok)
install(FILES examples/csv/Runvok.cnl examples/csv/sensors.cnl examples/csv/sensors.csv
        DESTINATION ${vok_doc}/examples/csv COMPONENT vok)

if(VOK_BUILD_PYTHON)
  install(FILES packaging/debian/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/python3-vok COMPONENT python)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vok)
set(CPACK_PACKAGE_VENDOR "the vok developers")
set(CPACK_PACKAGE_CONTACT "${VOK_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${VOK_PACKAGE_COMPONENTS})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VOK_DEBIAN_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VOK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Library dependencies from the binaries (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Package vok: the programs.
set(CPACK_DEBIAN_VOK_PACKAGE_NAME vok)
set(CPACK_DEBIAN_VOK_PACKAGE_SECTION science)
set(CPACK_DEBIAN_VOK_PACKAGE_RECOMMENDS gnuplot-nox)
set(CPACK_COMPONENT_VOK_DESCRIPTION
    "moving-frame tests of serial and cross dependence in two time series
vok tests two time series for serial and cross dependence beyond what a
linear model explains, frame by frame: it cuts the series into frames,
prewhitens each frame with a vector autoregression and computes three
correlation and four bicorrelation portmanteau tests with their p-values,
optionally with bootstrap thresholds. vok-plot draws a run's p-values and
cross-correlations with gnuplot.")

# Package python3-vok: the Python package, for the interpreter it was built
# for (the extension module is that interpreter's).
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-vok)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "python3 (>= ${VOK_PYTHON_VERSION}), python3 (<< ${VOK_PYTHON_NEXT_VERSION}), python3-numpy, python3-pandas")
set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS python3-matplotlib)
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
    "moving-frame tests of dependence in two time series (Python 3)
The Python package vok: vok.analyse tests two series (numpy arrays or
pandas Series) frame by frame for serial and cross dependence beyond what a
linear model explains, with the seven portmanteau tests of the vok program,
and returns the results as pandas tables; vok.run runs a directory of vok
control files in-process. Result.plot draws the p-values with matplotlib.")

include(CPack)
