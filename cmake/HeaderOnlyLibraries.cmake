# CLI11 (argument parsing) and nlohmann/json (the command-line tool's JSON lines and the simulator's
# summary): both header-only, from Debian's libcli11-dev and nlohmann-json3-dev.
#
# Debian installs them for the build machine only, under /usr/include. Their headers are plain C++
# and fit the mingw-w64 compiler just as well, but the cross build must not see the rest of
# /usr/include (glibc's headers would shadow mingw's own), so there each library's include folder is
# a folder in the build tree holding a link to its headers alone.
find_package(CLI11 2.1 REQUIRED CONFIG NO_CMAKE_FIND_ROOT_PATH)
find_package(nlohmann_json 3.11 REQUIRED CONFIG NO_CMAKE_FIND_ROOT_PATH)

if(CMAKE_CROSSCOMPILING)
    # orvane_header_only(<imported target> <header folder>): points the target at a folder holding
    # nothing but a link to <header folder> of its original include folder.
    function(orvane_header_only target folder)
        get_target_property(includes ${target} INTERFACE_INCLUDE_DIRECTORIES)
        list(GET includes 0 include)
        string(MAKE_C_IDENTIFIER "${folder}" name)
        set(staged "${CMAKE_BINARY_DIR}/header-only/${name}")
        file(MAKE_DIRECTORY "${staged}")
        if(NOT EXISTS "${staged}/${folder}")
            file(CREATE_LINK "${include}/${folder}" "${staged}/${folder}" SYMBOLIC)
        endif()
        set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${staged}")
    endfunction()
    orvane_header_only(CLI11::CLI11 CLI)
    orvane_header_only(nlohmann_json::nlohmann_json nlohmann)
endif()
