# Installs the build's Corvane into a temporary prefix, then configures, builds
# and runs the programs in consumer/ (the whole library) and consumer-core/
# (the core alone) against it, as a third party would.
# Variables: BUILD_DIR, CONSUMER_DIR, LIBDIR, LIBEXECDIR, CXX_COMPILER, BUILD_TYPE.
cmake_minimum_required(VERSION 3.16)

set(SCRATCH_NAME corvane-consumer)
include(${CMAKE_CURRENT_LIST_DIR}/../support/scratchrun.cmake)
set(prefix "${work}/prefix")
file(MAKE_DIRECTORY "${work}/home")

foreach(component CorvaneRuntime CorvaneDevelopment)
    run("install of ${component}" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
        --component ${component})
endforeach()

# Each library under its versioned name, the soname link and the plain link.
set(lib "${prefix}/${LIBDIR}")
foreach(library Corvane CorvaneWidgets)
    foreach(name lib${library}.so.1 lib${library}.so)
        if(NOT IS_SYMLINK "${lib}/${name}")
            message(FATAL_ERROR "${lib}/${name} is not a link; kept ${work}")
        endif()
    endforeach()
    file(GLOB real "${lib}/lib${library}.so.1.*")
    run("readelf" readelf -d ${real})
    if(NOT output MATCHES "Library soname: \\[lib${library}\\.so\\.1\\]")
        message(FATAL_ERROR "no soname lib${library}.so.1 in ${real}")
    endif()
    if(library STREQUAL "Corvane" AND output MATCHES "libQt5Widgets|libQt5Gui")
        message(FATAL_ERROR "the core library needs Qt Gui or Widgets:\n${output}")
    endif()
endforeach()
if(NOT EXISTS "${prefix}/${LIBEXECDIR}/corvane/corvane-crashdialog")
    message(FATAL_ERROR "the crash-dialog program is not installed; kept ${work}")
endif()

# Public headers only: nothing generated, private to Qt or internal.
file(GLOB headers "${prefix}/include/corvane/*.h")
list(LENGTH headers count)
if(count LESS 10 OR EXISTS "${prefix}/include/corvane/tolviksystemosal.h")
    message(FATAL_ERROR "unexpected public headers: ${headers}")
endif()
foreach(header ${headers})
    file(STRINGS "${header}" includes REGEX "#include")
    if(includes MATCHES "ui_|_p\\.h|private/")
        message(FATAL_ERROR "${header} needs a non-public header: ${includes}")
    endif()
endforeach()
if(NOT EXISTS "${prefix}/share/corvane/Languages/Corvane_de_DE.qm")
    message(FATAL_ERROR "translations not installed; kept ${work}")
endif()

run("configure" ${CMAKE_COMMAND} -S "${CONSUMER_DIR}" -B "${work}/build"
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=${BUILD_TYPE})
run("build" ${CMAKE_COMMAND} --build "${work}/build")
run("consumer" ${CMAKE_COMMAND} -E env HOME=${work}/home QT_QPA_PLATFORM=offscreen
    "${work}/build/corvane_consumer" "${work}/home/consumer.log")
file(REAL_PATH "${lib}" reallib)
foreach(library Corvane CorvaneWidgets)
    string(FIND "${output}" "loaded ${lib}/lib${library}.so.1" found)
    string(FIND "${output}" "loaded ${reallib}/lib${library}.so.1" foundReal)
    if(found EQUAL -1 AND foundReal EQUAL -1)
        message(FATAL_ERROR "the consumer did not load the installed lib${library}: ${output}")
    endif()
endforeach()
message(STATUS "${output}")

# The core alone: found without Qt Gui and Widgets, linked without them.
run("configure core" ${CMAKE_COMMAND} -S "${CONSUMER_DIR}-core" -B "${work}/build-core"
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=${BUILD_TYPE})
run("build core" ${CMAKE_COMMAND} --build "${work}/build-core")
run("readelf core" readelf -d "${work}/build-core/corvane_core_consumer")
if(output MATCHES "libQt5Widgets|libQt5Gui|libCorvaneWidgets" OR NOT output MATCHES "libCorvane\\.so\\.1")
    message(FATAL_ERROR "the core consumer links more or less than the core:\n${output}")
endif()
run("core consumer" ${CMAKE_COMMAND} -E env HOME=${work}/home
    "${work}/build-core/corvane_core_consumer" "${work}/home/core.log")
file(REMOVE_RECURSE "${work}")
