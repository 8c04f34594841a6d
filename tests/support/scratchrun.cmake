# For the tests that are CMake scripts: a scratch folder `work` in TMPDIR
# (else /tmp) named after SCRATCH_NAME, and run(<what> <command...>), which
# ends the test with the command's output when it fails and keeps the folder
# to look at. run() leaves stdout in `output` and stderr in `output_error`.
if(DEFINED ENV{TMPDIR} AND IS_DIRECTORY "$ENV{TMPDIR}")
    set(tmp "$ENV{TMPDIR}")
else()
    set(tmp /tmp)
endif()
string(RANDOM LENGTH 10 tag)
set(work "${tmp}/${SCRATCH_NAME}-${tag}")
file(MAKE_DIRECTORY "${work}")

function(run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${what} failed (${rc}); kept ${work}\n${out}\n${err}")
    endif()
    set(output "${out}" PARENT_SCOPE)
    set(output_error "${err}" PARENT_SCOPE)
endfunction()
