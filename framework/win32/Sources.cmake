# Sources of the framework's native Windows backend, in two lists: the system calls (serial line,
# port listing, text, files, module path) and the window layer (windows, dialogs, controls, message
# loop). framework/CMakeLists.txt adds both on Windows.
set(ORVANE_WIN32_SYSTEM_SOURCES
)

set(ORVANE_WIN32_WINDOW_SOURCES
)
