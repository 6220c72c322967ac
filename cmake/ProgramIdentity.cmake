# The program's names, read from src/ports/ProgramIdentity.h, their one
# source: the program, the tools and the Windows tests include that header;
# this file hands the values on to what cannot include it.
#
# Included by the build: quillon_identity(<variable> <constant>) sets
# <variable> to the value of `inline constexpr char <constant>[] = "...";`,
# C escapes undone (the version resource takes the product name).
#
# Run as a script, `cmake -P cmake/ProgramIdentity.cmake`, it prints the
# makensis definitions of the setup program, one per line
# (installer/build-setup.sh):
#   -DPRODUCT=<kProductName>  -DWINDOW_CLASS=<kWindowClass>  -DSETTINGS_ROOT=<kSettingsRoot>
set(QUILLON_IDENTITY_HEADER ${CMAKE_CURRENT_LIST_DIR}/../src/ports/ProgramIdentity.h)
cmake_path(NORMAL_PATH QUILLON_IDENTITY_HEADER)
if(NOT CMAKE_SCRIPT_MODE_FILE)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUILLON_IDENTITY_HEADER})
endif()

function(quillon_identity variable constant)
    file(STRINGS ${QUILLON_IDENTITY_HEADER} lines
         REGEX "^inline constexpr char ${constant}\\[\\] = \".*\";$")
    list(LENGTH lines count)
    if(NOT count EQUAL 1)
        message(FATAL_ERROR "${QUILLON_IDENTITY_HEADER}: no single line defining ${constant}")
    endif()
    string(REGEX MATCH "\"(.*)\"" quoted "${lines}")
    string(REPLACE "\\\\" "\\" value "${CMAKE_MATCH_1}")
    set(${variable} "${value}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    foreach(pair PRODUCT:kProductName WINDOW_CLASS:kWindowClass SETTINGS_ROOT:kSettingsRoot)
        string(REPLACE ":" ";" pair "${pair}")
        list(GET pair 0 define)
        list(GET pair 1 constant)
        quillon_identity(value ${constant})
        execute_process(COMMAND ${CMAKE_COMMAND} -E echo "-D${define}=${value}")
    endforeach()
endif()
