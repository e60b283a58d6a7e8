# One interface target carries the flags every target of the project shares.
add_library(zavlen_common_cfg INTERFACE)
target_compile_features(zavlen_common_cfg INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_definitions(zavlen_common_cfg INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_DISABLE_DEPRECATED_BEFORE=0x060400)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(zavlen_common_cfg INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                           -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual)
elseif(MSVC)
    target_compile_options(zavlen_common_cfg INTERFACE /W4 /utf-8 /permissive- /Zc:__cplusplus)
endif()
if(ZAVLEN_SANITIZE)
    target_compile_options(zavlen_common_cfg INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                           -fno-sanitize-recover=undefined)
    target_link_options(zavlen_common_cfg INTERFACE -fsanitize=address,undefined)
endif()

# What gets installed names no folder of the build machine: __FILE__ in assertion messages becomes
# "app/skin.cpp" rather than the checkout's path. Tests keep full paths, which QFINDTESTDATA needs.
add_library(zavlen_shipped_cfg INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(zavlen_shipped_cfg INTERFACE
        -fmacro-prefix-map=${PROJECT_SOURCE_DIR}/= -fmacro-prefix-map=${PROJECT_BINARY_DIR}/=)
endif()
