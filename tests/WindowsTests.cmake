# The Windows build's tests, cross-built and run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
# GoogleTest comes from Debian's source package, built here with the cross compiler. Each area is one
# CTest test (one Wine start per executable, not per case).
set(ORVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${ORVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
