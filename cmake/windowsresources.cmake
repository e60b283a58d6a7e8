# The icon, the manifest (Windows 10/11, long paths) and the version record a Windows program
# carries; the version comes from project(), where it is written once.
function(zavlen_windows_resources target description)
    if(NOT WIN32)
        return()
    endif()
    set(ZAVLEN_RC_NAME ${target})
    set(ZAVLEN_RC_FILE ${target}.exe)
    set(ZAVLEN_RC_ICON ${PROJECT_SOURCE_DIR}/dist/windows/zavlen.ico)
    set(ZAVLEN_RC_MANIFEST ${PROJECT_SOURCE_DIR}/dist/windows/zavlen.manifest)
    # "ZavlenAPP视频助手" in the escapes a resource compiler reads in every code page.
    set(ZAVLEN_RC_PRODUCT "ZavlenAPP\\x89c6\\x9891\\x52a9\\x624b")
    set(ZAVLEN_RC_DESCRIPTION "${description}")
    configure_file(${PROJECT_SOURCE_DIR}/dist/windows/program.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc APPEND PROPERTY
                 OBJECT_DEPENDS ${ZAVLEN_RC_ICON} ${ZAVLEN_RC_MANIFEST})
endfunction()
