# The native respack for a cross build, which cannot run the respack it builds
# itself. Sets LAUNCHER_HOST_RESPACK (the program to run) and
# LAUNCHER_HOST_RESPACK_TARGET (the target that makes it, empty when none).
#
# By default the cross build makes its own: this same source tree configured
# with the host's gcc/g++ in host-tools/ below the build folder, and only the
# respack target built there (respack and the libraries it links, no tests).
# The step runs on every build; the inner build is a no-op until a source of
# respack or of its libraries changes, and only then is the skin packed again.
#
# LAUNCHER_HOST_TOOLS_DIR may name the bin/ folder of a native build instead;
# its respack is used as it is (and not rebuilt from here).
set(LAUNCHER_HOST_TOOLS_DIR "" CACHE PATH
    "Optional: bin/ of a native build whose respack the cross build uses instead of building its own")

if(LAUNCHER_HOST_TOOLS_DIR AND EXISTS ${LAUNCHER_HOST_TOOLS_DIR}/respack)
    set(LAUNCHER_HOST_RESPACK ${LAUNCHER_HOST_TOOLS_DIR}/respack)
    set(LAUNCHER_HOST_RESPACK_TARGET "")
    message(STATUS "respack: ${LAUNCHER_HOST_RESPACK} (LAUNCHER_HOST_TOOLS_DIR)")
    return()
endif()
if(LAUNCHER_HOST_TOOLS_DIR)
    message(WARNING "No respack in LAUNCHER_HOST_TOOLS_DIR ('${LAUNCHER_HOST_TOOLS_DIR}'): "
                    "the build makes its own native one.")
endif()

set(LAUNCHER_HOST_CC gcc CACHE STRING "Host C compiler for the native respack")
set(LAUNCHER_HOST_CXX g++ CACHE STRING "Host C++ compiler for the native respack")
find_program(_host_cxx ${LAUNCHER_HOST_CXX} NO_CACHE)
if(NOT _host_cxx)
    message(FATAL_ERROR "The cross build needs a host C++ compiler (${LAUNCHER_HOST_CXX}) for its native respack: "
                        "install g++ (scripts/bootstrap.sh does), or set LAUNCHER_HOST_CXX / LAUNCHER_HOST_TOOLS_DIR.")
endif()

include(ExternalProject)
set(_host_dir ${CMAKE_BINARY_DIR}/host-tools)
set(LAUNCHER_HOST_RESPACK ${_host_dir}/bin/respack)
set(LAUNCHER_HOST_RESPACK_TARGET HostRespack)
ExternalProject_Add(HostRespack
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${_host_dir}
    PREFIX ${_host_dir}/step
    # A toolchain file in the environment (CMAKE_TOOLCHAIN_FILE) would make this a cross build too.
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=
               -DCMAKE_C_COMPILER=${LAUNCHER_HOST_CC}
               -DCMAKE_CXX_COMPILER=${LAUNCHER_HOST_CXX}
               -DCMAKE_BUILD_TYPE=Release
               -DLAUNCHER_BUILD_TESTS=OFF
               -DLZMA_SDK_DIR=${LZMA_SDK_DIR}
               -DXXHASH_HEADER=${XXHASH_HEADER}
               -DRAPIDXML_HEADER=${RAPIDXML_HEADER}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target respack
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${LAUNCHER_HOST_RESPACK}
    INSTALL_COMMAND ""
    EXCLUDE_FROM_ALL ON)
