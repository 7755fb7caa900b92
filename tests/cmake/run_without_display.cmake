# Runs PROGRAM with ARG as on a machine without a display (no DISPLAY, WAYLAND_DISPLAY or
# QT_QPA_PLATFORM) and fails unless it exits 0 and prints EXPECT.
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
            --unset=QT_QPA_PLATFORM ${PROGRAM} ${ARG}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARG} ended with '${status}'\n${out}${err}")
endif()
string(FIND "${out}" "${EXPECT}" at)
if(at EQUAL -1)
    message(FATAL_ERROR "${PROGRAM} ${ARG} did not print '${EXPECT}':\n${out}${err}")
endif()
