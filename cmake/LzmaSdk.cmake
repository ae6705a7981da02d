# The LZMA SDK's C sources as Debian's lzma-dev installs them, compiled into
# both builds (there is no prebuilt library of them for MinGW).
set(LZMA_SDK_DIR /usr/include/lzma CACHE PATH "LZMA SDK C sources (Debian package lzma-dev)")
if(NOT EXISTS ${LZMA_SDK_DIR}/LzmaDec.c)
    message(FATAL_ERROR "LZMA SDK sources not found in ${LZMA_SDK_DIR}: install lzma-dev "
                        "(scripts/bootstrap.sh does).")
endif()
add_library(LzmaSdk STATIC ${LZMA_SDK_DIR}/LzmaDec.c ${LZMA_SDK_DIR}/LzmaEnc.c ${LZMA_SDK_DIR}/LzFind.c)
target_include_directories(LzmaSdk SYSTEM PUBLIC ${LZMA_SDK_DIR})
# The encoder's match finder runs single-threaded here.
target_compile_definitions(LzmaSdk PUBLIC _7ZIP_ST)
# Optimised in every build: unoptimised, its match finder makes each package the
# debug and sanitizer builds publish or unpack in their tests take seconds.
if(NOT MSVC)
    target_compile_options(LzmaSdk PRIVATE -O2)
endif()
