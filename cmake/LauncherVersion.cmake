# The launcher's version: LAUNCHER_VERSION "major.minor.build.revision" goes
# into the executable's version resource, and the self-update compares it as
# the number ((major * 100 + minor) * 100 + build) * 100 + revision.
set(LAUNCHER_VERSION "1.0.0.1" CACHE STRING
    "Launcher version major.minor.build.revision (minor, build, revision below 100)")

# Splits `version` into `prefix`_COMMAS ("1,0,0,1", as FILEVERSION wants it) and
# `prefix`_NUMBER (the self-update's number); stops on a malformed version.
function(launcher_version_parts version prefix)
    if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
        message(FATAL_ERROR "Launcher version '${version}' is not major.minor.build.revision")
    endif()
    set(_parts ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4})
    list(GET _parts 0 _major)
    list(SUBLIST _parts 1 3 _rest)
    # Two decimal digits each in the number: a larger part would collide with another version.
    foreach(_part IN LISTS _rest)
        if(_part GREATER 99)
            message(FATAL_ERROR "Launcher version '${version}': minor, build and revision must be below 100")
        endif()
    endforeach()
    if(_major GREATER 42)
        message(FATAL_ERROR "Launcher version '${version}': the number must stay below 2^31")
    endif()
    list(JOIN _parts "," _commas)
    math(EXPR _number "((${CMAKE_MATCH_1} * 100 + ${CMAKE_MATCH_2}) * 100 + ${CMAKE_MATCH_3}) * 100 + ${CMAKE_MATCH_4}")
    set(${prefix}_COMMAS ${_commas} PARENT_SCOPE)
    set(${prefix}_NUMBER ${_number} PARENT_SCOPE)
endfunction()

# Writes LauncherVersion.h (for the resource script) into `folder`.
function(launcher_version_header version folder)
    launcher_version_parts(${version} _version)
    set(LAUNCHER_VERSION_COMMAS ${_version_COMMAS})
    set(LAUNCHER_VERSION_TEXT ${version})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/LauncherVersion.h.in ${folder}/LauncherVersion.h @ONLY)
endfunction()

launcher_version_parts(${LAUNCHER_VERSION} LAUNCHER_VERSION)
