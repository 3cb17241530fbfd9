# Compiler warnings for every target. ORVANE_WERROR turns them into errors: `make` and CI switch it
# on so that no warning gets in, while a plain CMake configure (a packager's build, a newer compiler
# with new warnings) still builds.
option(ORVANE_WERROR "Treat compiler warnings as errors" OFF)

add_compile_options(-Wall -Wextra)
if(ORVANE_WERROR)
    add_compile_options(-Werror)
endif()
