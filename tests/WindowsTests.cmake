# The Windows build's tests, cross-built and run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
# GoogleTest comes from Debian's source package, built here with the cross compiler. Each area is one
# CTest test (one Wine start per executable, not per case).
set(ORVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${ORVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(target gtest gtest_main gmock gmock_main)
    # Third-party code: its warnings are not ours to fix.
    target_compile_options(${target} PRIVATE -w)
endforeach()

# The test support: the same sources as on Linux where they hold, and for the pseudo-terminal pair and
# the port registry the in-process line the Windows build uses instead (Windows has no pty).
add_library(orvane_test_support STATIC
    support/DiagCapture.cpp
    support/TestOwner.cpp
    support/win32/PtyWin32.cpp
    support/win32/TempRegistryWin32.cpp
)
target_link_libraries(orvane_test_support PUBLIC orvane_framework gtest)
target_include_directories(orvane_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(orvane_test_support PUBLIC ORVANE_TEST_TIME_FACTOR=${ORVANE_TEST_TIME_FACTOR})

# orvane_add_windows_tests(<name> SOURCES <files>... LIBRARIES <libraries>... [ARGS <arguments>...]):
# one executable, one CTest test run under Wine with the given arguments.
function(orvane_add_windows_tests name)
    cmake_parse_arguments(PARSE_ARGV 1 AREA "" "" "SOURCES;LIBRARIES;ARGS")
    add_executable(${name} ${AREA_SOURCES})
    target_link_libraries(${name} PRIVATE orvane_test_support gtest_main gmock ${AREA_LIBRARIES})
    add_test(NAME ${name} COMMAND ${name} ${AREA_ARGS})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS windows-unit)
endfunction()

# Layer 1: the suites that need no display and no pseudo-terminal of their own.
orvane_add_windows_tests(framework_core_tests SOURCES framework/CStringTest.cpp framework/MessageMapTest.cpp
    LIBRARIES orvane_framework)
orvane_add_windows_tests(protocol_tests
    SOURCES protocol/ProtocolTest.cpp protocol/ReceiveBufferTest.cpp LIBRARIES orvane_protocol)
# The serial line over the in-process line, playing drivers that refuse their own flow-control
# characters and count no output queue.
orvane_add_windows_tests(serial_tests SOURCES serial/SerialDriverQuirksTest.cpp LIBRARIES orvane_serial)
# The engines and the files they read, over the in-process line. The image file's own tests compare
# against zlib's CRC-32, which the cross toolchain does not have; the engines load images all the same.
orvane_add_windows_tests(update_tests
    SOURCES update/EngineHarness.cpp update/FileAccessTest.cpp update/FirmwareUpdateTest.cpp
            update/ProgramUpdateTest.cpp
    LIBRARIES orvane_update)

# Layer 3: the real main window on a display, driven by window messages against the simulated
# device. It needs both an X display and the simulator on a COM port, so it is not a CTest test:
# scripts/test-windows.sh runs it under xvfb-run (see its dialog step).
# It carries the window program's resources (icon, manifest), so the window looks as the program's.
add_executable(main_window_flow_tests win32/MainWindowFlowTest.cpp ${PROJECT_SOURCE_DIR}/app/orvane.rc)
target_include_directories(main_window_flow_tests PRIVATE ${PROJECT_SOURCE_DIR}/app)
target_link_libraries(main_window_flow_tests PRIVATE orvane_ui gtest_main)

# The command-line tool's parts: options, the progress bar, JSON lines both ways, a station's outcome.
# Device paths as port arguments are POSIX's alone: Windows numbers its ports itself.
orvane_add_windows_tests(cli_parts_tests SOURCES cli/CliPartsTest.cpp LIBRARIES orvane_cli_commands
    ARGS --gtest_filter=-ResolvePortArgument.NamesNumbersAndPaths)

# The programs' version resources and manifests, read back from the built files.
orvane_add_windows_tests(executable_resource_tests SOURCES win32/ExecutableResourcesTest.cpp LIBRARIES version)
add_dependencies(executable_resource_tests orvane orvane-cli)

# A station's children (job, handle list, passed-on interrupts) and the console's interrupts. The
# program runs copies of itself as the children, so it has a main of its own.
add_executable(process_tests win32/ChildProcessGroupTest.cpp)
target_link_libraries(process_tests PRIVATE orvane_serial orvane_framework gtest)
target_include_directories(process_tests PRIVATE ${PROJECT_SOURCE_DIR})
add_test(NAME process_tests COMMAND process_tests)
set_tests_properties(process_tests PROPERTIES TIMEOUT 300 LABELS windows-unit)
