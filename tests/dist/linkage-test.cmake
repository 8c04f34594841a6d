# Which shared libraries each built program loads, as the dynamic linker
# resolves them (ldd: direct and indirect). The programs without a window,
# pathmere-cli and Hallbridge, and Corvane's core library load neither Qt
# Widgets nor Qt Gui nor Corvane's widgets part; the window program and the
# crash-dialog program do load the widgets part, so the split is real.
# Variables: BIN_DIR.
cmake_minimum_required(VERSION 3.16)

set(SCRATCH_NAME pathmere-linkage)
include(${CMAKE_CURRENT_LIST_DIR}/../support/scratchrun.cmake)

set(widgets_libraries "libQt5Widgets\\.so|libQt5Gui\\.so|libCorvaneWidgets\\.so")
set(report "")
foreach(file pathmere-cli Hallbridge libCorvane.so.1 Pathmere corvane-crashdialog)
    run("ldd ${file}" ldd "${BIN_DIR}/${file}")
    if(output MATCHES "not found")
        message(FATAL_ERROR "${file} misses a library:\n${output}")
    endif()
    string(REGEX MATCHALL "lib(Qt5[A-Za-z]+|Corvane[A-Za-z]*)\\.so" loaded "${output}")
    list(REMOVE_DUPLICATES loaded)
    list(SORT loaded)
    string(REPLACE ";" " " loaded "${loaded}")
    string(APPEND report "  ${file}: ${loaded}\n")
    if(file MATCHES "^(pathmere-cli|Hallbridge|libCorvane\\.so\\.1)$")
        if(output MATCHES "${widgets_libraries}")
            message(FATAL_ERROR "${file} loads widget libraries:\n${output}")
        endif()
    elseif(NOT output MATCHES "libCorvaneWidgets\\.so")
        message(FATAL_ERROR "${file} does not load libCorvaneWidgets:\n${output}")
    endif()
endforeach()

file(REMOVE_RECURSE "${work}")
message(STATUS "Qt and Corvane libraries each program loads:\n${report}")
