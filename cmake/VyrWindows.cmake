# The Windows build: the transport, the engine, the setting commands and vyr, with the
# GoogleTest tests of those. No Qt and no simulator: Debian has neither for MinGW.

# CLI11 and nlohmann-json are header-only; Debian's headers serve, but /usr/include
# itself must not reach the cross compiler, so each gets a folder of its own.
set(VYR_HEADER_ONLY ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${VYR_HEADER_ONLY})
foreach(folder CLI nlohmann)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} missing (scripts/setup installs it)")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${VYR_HEADER_ONLY}/${folder} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${VYR_HEADER_ONLY})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${VYR_HEADER_ONLY})
set(CLI11_FOUND TRUE)
set(nlohmann_json_FOUND TRUE)

if(VYR_BUILD_TESTS)
  # GoogleTest from Debian's sources, built with the same compiler.
  set(VYR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VYR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
