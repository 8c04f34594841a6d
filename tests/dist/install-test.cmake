# Installs the "Pathmere" component into a temporary prefix, as the Debian
# package does, and checks that the installed programs run from there: the
# links in bin/, Corvane's two libraries found through $ORIGIN, the files the
# programs look for beside themselves (the crash-dialog program among them),
# the desktop files valid, one version everywhere.
# Variables: SOURCE_DIR, BUILD_DIR, VERSION.
cmake_minimum_required(VERSION 3.16)

set(SCRATCH_NAME pathmere-install)
include(${CMAKE_CURRENT_LIST_DIR}/../support/scratchrun.cmake)
set(prefix "${work}/usr")

run("install" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}" --component Pathmere)

set(private "${prefix}/lib/pathmere")
foreach(file Pathmere Hallbridge pathmere-cli corvane-crashdialog libCorvane.so.1 libCorvaneWidgets.so.1
             Languages/Corvane_de_DE.qm web/index.html web/qwebchannel.js)
    if(NOT EXISTS "${private}/${file}")
        message(FATAL_ERROR "${private}/${file} is not installed; kept ${work}")
    endif()
endforeach()
if(EXISTS "${private}/web/README.md" OR EXISTS "${prefix}/include" OR EXISTS "${private}/libCorvane.so"
   OR EXISTS "${private}/libCorvaneWidgets.so")
    message(FATAL_ERROR "developer files in the program's install; kept ${work}")
endif()

# Run through the links, with nothing of the build tree on the library path.
foreach(link pathmere pathmere-cli)
    if(NOT IS_SYMLINK "${prefix}/bin/${link}")
        message(FATAL_ERROR "${prefix}/bin/${link} is not a link; kept ${work}")
    endif()
endforeach()
run("pathmere-cli --help" env -u LD_LIBRARY_PATH "${prefix}/bin/pathmere-cli" --help)
if(NOT "${output}${output_error}" MATCHES "search")
    message(FATAL_ERROR "pathmere-cli --help printed no usage: ${output}")
endif()
foreach(program Pathmere corvane-crashdialog)
    run("ldd ${program}" ldd "${private}/${program}")
    foreach(library Corvane CorvaneWidgets)
        if(NOT output MATCHES "lib${library}\\.so\\.1 => ${private}/lib${library}\\.so\\.1")
            message(FATAL_ERROR "the installed ${program} does not load the lib${library} beside it:\n${output}")
        endif()
    endforeach()
endforeach()
# The crash dialog a crashing Pathmere starts runs from there, and refuses a
# command line it cannot use with a reason.
execute_process(COMMAND env -u LD_LIBRARY_PATH "${private}/corvane-crashdialog"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 2 OR NOT err MATCHES "corvane-crashdialog: cannot use the command line")
    message(FATAL_ERROR "the installed corvane-crashdialog did not run (${rc}): ${out}${err}")
endif()

set(share "${prefix}/share")
run("desktop-file-validate" desktop-file-validate "${share}/applications/org.pathmere.Pathmere.desktop")
run("appstreamcli validate" appstreamcli validate --no-net "${share}/metainfo/org.pathmere.Pathmere.metainfo.xml")
foreach(file icons/hicolor/48x48/apps/org.pathmere.Pathmere.png icons/hicolor/scalable/apps/org.pathmere.Pathmere.svg
             man/man1/pathmere.1 man/man1/pathmere-cli.1)
    if(NOT EXISTS "${share}/${file}")
        message(FATAL_ERROR "${share}/${file} is not installed; kept ${work}")
    endif()
endforeach()

# One version: the program's, the package's and the one AppStream announces.
file(READ "${share}/metainfo/org.pathmere.Pathmere.metainfo.xml" metainfo)
file(STRINGS "${SOURCE_DIR}/debian/changelog" first LIMIT_COUNT 1)
string(REGEX MATCH "\\(([^)]+)\\)" _changelog "${first}")
set(changelog_version "${CMAKE_MATCH_1}")
string(REGEX MATCH "<release version=\"([^\"]+)\"" _ "${metainfo}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION OR NOT changelog_version STREQUAL VERSION)
    message(FATAL_ERROR "versions differ: CMake ${VERSION}, AppStream ${CMAKE_MATCH_1}, debian/changelog ${changelog_version}")
endif()

file(REMOVE_RECURSE "${work}")
message(STATUS "installed layout checked")
