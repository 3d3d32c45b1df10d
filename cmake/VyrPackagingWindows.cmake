# A ZIP of vyr.exe (linked statically, so it needs no MinGW DLLs) and its notes:
#   cmake --preset windows && cmake --build --preset windows
#   cpack -G ZIP --config build/windows/CPackConfig.cmake -B build/windows/package
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vyr)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME windows-x86_64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Command-line tool for VYR scanning laser range sensors")
set(CPACK_STRIP_FILES ON)
include(CPack)
