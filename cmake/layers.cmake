# The one table of which product folder may use which. A folder may link the
# targets of, and include the headers of, only itself and the folders listed
# after the bar. Dependencies run one way:
#   app, cli -> webbridge, update, netcheck, fleet -> discovery -> common -> corvane
# and platform/ sits beside them all: anyone may use it, it uses none of them.
# A new product folder gets a line here, or layers_check fails.
set(PATHMERE_LAYERS
    "platform     |"
    "corvane      |"
    "common       | corvane platform"
    "discovery    | common corvane platform"
    "webbridge    | common corvane platform"
    "update       | common corvane platform"
    "netcheck     | discovery common corvane platform"
    "fleet        | discovery common corvane platform"
    "app          | fleet webbridge update netcheck discovery common corvane platform"
    "cli          | fleet webbridge update netcheck discovery common corvane platform"
    "hallbridge   | platform"
    "tools/camsim | discovery common corvane platform"
    "tools/updatesign | update"
)

# Folders that hold no product code and so are not part of the order.
set(PATHMERE_LAYERS_OUTSIDE tests bench cmake docs scripts web debian dist fuzz build)

# Splits the table into PATHMERE_LAYER_FOLDERS and, per folder F,
# PATHMERE_LAYER_USES_<F> (slashes become underscores).
macro(pathmere_read_layers)
    set(PATHMERE_LAYER_FOLDERS "")
    foreach(row IN LISTS PATHMERE_LAYERS)
        string(REGEX REPLACE "\\|.*" "" folder "${row}")
        string(REGEX REPLACE "^[^|]*\\|" "" uses "${row}")
        string(STRIP "${folder}" folder)
        string(STRIP "${uses}" uses)
        string(REGEX REPLACE " +" ";" uses "${uses}")
        list(APPEND PATHMERE_LAYER_FOLDERS ${folder})
        string(REPLACE "/" "_" key "${folder}")
        set(PATHMERE_LAYER_USES_${key} ${uses})
    endforeach()
endmacro()

# At configure time: writes one line "<folder> <target> <linked folder> <linked target>"
# for every link between targets of the product folders, for layers_check to judge.
function(pathmere_write_layer_links out)
    pathmere_read_layers()
    set(lines "")
    foreach(folder IN LISTS PATHMERE_LAYER_FOLDERS)
        if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${folder}/CMakeLists.txt)
            continue()
        endif()
        get_directory_property(targets DIRECTORY ${CMAKE_SOURCE_DIR}/${folder} BUILDSYSTEM_TARGETS)
        foreach(t IN LISTS targets)
            get_target_property(libs ${t} LINK_LIBRARIES)
            if(NOT libs)
                continue()
            endif()
            foreach(lib IN LISTS libs)
                string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" lib "${lib}")
                if(NOT TARGET ${lib})
                    continue()
                endif()
                get_target_property(imported ${lib} IMPORTED)
                if(imported)
                    continue()
                endif()
                get_target_property(libdir ${lib} SOURCE_DIR)
                file(RELATIVE_PATH libfolder ${CMAKE_SOURCE_DIR} ${libdir})
                string(APPEND lines "${folder} ${t} ${libfolder} ${lib}\n")
            endforeach()
        endforeach()
    endforeach()
    file(WRITE ${out} "${lines}")
endfunction()
