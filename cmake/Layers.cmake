# quillon_layer(<layer> [SOURCES <file>...] [USES <layer>...])
#
# One library per folder of src/, named quillon_<layer>, linking only the
# layers it USES. A layer's headers are included as "<layer>/Name.h" through
# an include root of its own, ${PROJECT_BINARY_DIR}/layers/<layer>, which
# holds nothing but a link named <layer> to src/<layer>. That root is handed
# on only to the layers that link this one, so an include of a higher
# layer's header finds no file and the build stops. A layer without sources
# (the ports) is an interface library.
function(quillon_layer layer)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;USES")
    set(root ${PROJECT_BINARY_DIR}/layers/${layer})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${layer} SYMBOLIC)
    list(TRANSFORM arg_USES PREPEND quillon_)
    list(TRANSFORM arg_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    if(arg_SOURCES)
        add_library(quillon_${layer} STATIC ${arg_SOURCES})
        target_include_directories(quillon_${layer} PUBLIC ${root})
        target_link_libraries(quillon_${layer} PUBLIC ${arg_USES} quillon_warnings)
        set_property(GLOBAL APPEND PROPERTY QUILLON_LAYER_SOURCES ${arg_SOURCES})
    else()
        add_library(quillon_${layer} INTERFACE)
        target_include_directories(quillon_${layer} INTERFACE ${root})
        target_link_libraries(quillon_${layer} INTERFACE ${arg_USES})
    endif()
endfunction()
