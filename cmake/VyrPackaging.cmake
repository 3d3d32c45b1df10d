# Installs the menu entry, icon and launcher beside the programs, and lets
# CPack build a Debian package of the whole install tree:
#   cmake --preset release && cmake --build --preset release
#   cpack --config build/release/CPackConfig.cmake -B build/release/package
include(GNUInstallDirs)

set(VYR_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
install(PROGRAMS ${VYR_PACKAGING_DIR}/vyr-setting-tool DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VYR_PACKAGING_DIR}/vyr-setting-tool.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VYR_PACKAGING_DIR}/vyr-setting-tool.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vyr-setting-tool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Settings utility for VYR scanning laser range sensors")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Connects to a VYR sensor over Ethernet or a serial line, switches its heater, reads and "
    "sets its phase and changes its network address. Includes vyr, the same operations and "
    "measurement from a shell for one sensor or many, and vyr_sim, a simulated sensor.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VYR Setting Tool maintainers <maintainers@vyr-setting-tool.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The Qt libraries and the C++ runtime come from the binaries' own links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, fonts-ipafont-gothic | fonts-noto-cjk")
if(TARGET _vyr)
  # The module is built for this one interpreter's ABI, and hands out NumPy arrays.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "python3 (>= ${VYR_PYTHON_VERSION}), python3 (<< ${VYR_PYTHON_BELOW}), python3-numpy")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-matplotlib")
  string(APPEND CPACK_PACKAGE_DESCRIPTION
      " The Python module vyr gives the same from Python, with scans as NumPy arrays.")
  # python3 run as root compiles the module beside it; those files are no one's but must go
  # with it, or the removal leaves the folder behind.
  set(vyr_prerm ${CMAKE_BINARY_DIR}/packaging/prerm)
  file(WRITE ${vyr_prerm}
       "#!/bin/sh\nset -e\nrm -rf /usr/lib/python3/dist-packages/vyr/__pycache__\n")
  file(CHMOD ${vyr_prerm} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
       GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${vyr_prerm})
endif()
include(CPack)
