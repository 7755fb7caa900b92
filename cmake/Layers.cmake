# velmora_layer(NAME DIRS dir... [USES lower-layer-target...] [NO_UI])
# Builds the non-Qt sources of src/<dir> into the static library NAME and checks every include
# of a project header: it must name a folder of this layer or of a layer it uses (directly or
# through them), or the user seam app/ui.h unless NO_UI says the layer never talks to the user.
# Qt headers are refused outright. Per-OS sources sit side by side: *_posix.cpp builds
# everywhere but Windows, *_win32.cpp only there.
set(VELMORA_APP_SEAM "app/ui.h")

# Drops the sources written for another operating system from the list variable named.
function(velmora_filter_os_sources list_var)
    if(WIN32)
        list(FILTER ${list_var} EXCLUDE REGEX "_posix\\.cpp$")
    else()
        list(FILTER ${list_var} EXCLUDE REGEX "_win32\\.cpp$")
    endif()
    set(${list_var} ${${list_var}} PARENT_SCOPE)
endfunction()

function(velmora_layer name)
    cmake_parse_arguments(LAYER "NO_UI" "" "DIRS;USES" ${ARGN})
    set(allowed ${LAYER_DIRS})
    foreach(lower IN LISTS LAYER_USES)
        get_property(lower_dirs GLOBAL PROPERTY VELMORA_LAYER_DIRS_${lower})
        list(APPEND allowed ${lower_dirs})
    endforeach()
    list(REMOVE_DUPLICATES allowed)
    set_property(GLOBAL PROPERTY VELMORA_LAYER_DIRS_${name} ${allowed})

    set(sources)
    foreach(dir IN LISTS LAYER_DIRS)
        file(GLOB dir_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${dir}/*.cpp)
        file(GLOB dir_headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${dir}/*.h)
        velmora_filter_os_sources(dir_sources)
        list(APPEND sources ${dir_sources})
        foreach(file IN LISTS dir_sources dir_headers)
            file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
            foreach(line IN LISTS includes)
                if(line MATCHES "#[ \t]*include[ \t]*[<\"]Q")
                    message(FATAL_ERROR "core file ${file} includes a Qt header: ${line}")
                endif()
                if(line MATCHES "#[ \t]*include[ \t]*\"(([a-z_]+)/[^\"]+)\"")
                    set(header ${CMAKE_MATCH_1})
                    set(folder ${CMAKE_MATCH_2})
                    if(header STREQUAL VELMORA_APP_SEAM AND LAYER_NO_UI)
                        message(FATAL_ERROR "${file} (layer ${name}) includes the user seam "
                            "${header}; this layer reports through its results only")
                    elseif(NOT header STREQUAL VELMORA_APP_SEAM)
                        list(FIND allowed ${folder} found)
                        if(found EQUAL -1)
                            message(FATAL_ERROR
                                "${file} (layer ${name}) includes ${header}, which lies in a "
                                "higher layer or beside it; allowed folders: ${allowed}")
                        endif()
                    endif()
                endif()
            endforeach()
        endforeach()
    endforeach()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    if(LAYER_USES)
        target_link_libraries(${name} PUBLIC ${LAYER_USES})
    endif()
endfunction()
