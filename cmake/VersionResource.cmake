# orvane_add_version_resource(<target> <file name without .exe> <description in Chinese>
#                             <description in English>): compiles a version resource from
# app/version.rc.in into a Windows executable, so that Explorer's Properties name the product, its
# version, its makers and what the file is, in Chinese and in English.
function(orvane_add_version_resource target exe_name description_zh description_en)
    set(ORVANE_EXE_NAME ${exe_name})
    set(ORVANE_DESCRIPTION_ZH ${description_zh})
    set(ORVANE_DESCRIPTION_EN ${description_en})
    set(output ${CMAKE_CURRENT_BINARY_DIR}/${exe_name}-version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/app/version.rc.in ${output} @ONLY)
    target_sources(${target} PRIVATE ${output})
endfunction()
