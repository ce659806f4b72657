# The Debian package (`tools/package`: cpack -G DEB): the installed tree of cmake/install.cmake
# under /usr, its shared-library dependencies found by dpkg-shlibdeps, and the Debian packages of
# what the Python side does (figures, reports, studies, optimisation; Dask for clusters).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hydraulics of a drilling well's annulus: blocks, studies, FMUs")
set(CPACK_PACKAGE_DESCRIPTION
"tavrel simulates the slightly compressible flow in the annulus of a
drilling well, with a heaving drill string at the bottom and a choke at
the top, as MEX-style block plug-ins driven by its own host. The
command-line tool runs scenarios, studies and optimisations, linearises
scenarios and exports blocks as FMI 2.0 FMUs; the Python package tavrel
does the same from Python and draws the figures and reports. The plug-in
kit (headers, CMake package and pkg-config file) builds a user's own
block.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(TAVREL_PACKAGE_MAINTAINER "tavrel maintainers <maintainers@tavrel.invalid>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TAVREL_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# The Python package's byte code is made and removed by the maintainer scripts. The private
# libraries under lib/tavrel need no ldconfig (CPack's own scripts would call it).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The compiled Python module is built for this one interpreter version.
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)$" python ${TAVREL_PYTHON_VERSION})
math(EXPR python_next_minor "${CMAKE_MATCH_2} + 1")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= ${TAVREL_PYTHON_VERSION}), \
python3 (<< ${CMAKE_MATCH_1}.${python_next_minor}), python3-numpy, python3-matplotlib, \
python3-scipy, python3-pandas, python3-plotly, python3-pil")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-dask, python3-distributed")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "g++, cmake, pkg-config")
include(CPack)

# What Debian asks of every package's documentation folder: the copyright file and, for a
# package made from its own source as this one is, the changelog.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/package/doc/changelog CONTENT
"tavrel (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}.

 -- ${TAVREL_PACKAGE_MAINTAINER}  ${changelog_date}
")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/package/doc/changelog.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/package/doc/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/package/doc/changelog VERBATIM)
add_custom_target(tavrel_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/package/doc/changelog.gz)
install(FILES packaging/copyright ${CMAKE_BINARY_DIR}/package/doc/changelog.gz
        DESTINATION share/doc/tavrel)
