# The sample data set: plain sources under data/sample/<SetName>/ (the list file
# "AdapterFile.vms" and .csv data files), stored scrambled beside the binaries in
# System/Data/<SetName>/ with the data files renamed to .vmw, as an installation holds them.

# Writes the plain sources afresh: velmora-make-sample data/sample
add_executable(velmora-make-sample ${CMAKE_SOURCE_DIR}/tools/make_sample_data.cpp)
target_link_libraries(velmora-make-sample PRIVATE velmora_model)

file(GLOB_RECURSE VELMORA_SAMPLE_SOURCES CONFIGURE_DEPENDS
     RELATIVE ${CMAKE_SOURCE_DIR}/data/sample ${CMAKE_SOURCE_DIR}/data/sample/*)
set(VELMORA_SAMPLE_OUTPUTS)
foreach(relative IN LISTS VELMORA_SAMPLE_SOURCES)
    get_filename_component(name ${relative} NAME)
    if(NOT name STREQUAL "AdapterFile.vms" AND NOT name MATCHES "\\.csv$")
        continue()
    endif()
    string(REGEX REPLACE "\\.csv$" ".vmw" stored ${relative})
    set(source ${CMAKE_SOURCE_DIR}/data/sample/${relative})
    set(output ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/System/Data/${stored})
    get_filename_component(output_dir ${output} DIRECTORY)
    # --root: the packer needs only the language file, which the source tree holds. A cross
# build runs the packer through its emulator (Wine).
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
        COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:velmora-cli>
                --root ${CMAKE_SOURCE_DIR} pack ${source} ${output}
        DEPENDS ${source} velmora-cli
        COMMENT "Scrambling sample data ${relative}"
        VERBATIM)
    list(APPEND VELMORA_SAMPLE_OUTPUTS ${output})
endforeach()

add_custom_target(velmora_sample_data ALL DEPENDS ${VELMORA_SAMPLE_OUTPUTS})
# The system folder copy must not race the packer into the same folder tree.
add_dependencies(velmora_sample_data velmora_system_files)
if(TARGET velmora_core_tests)
    add_dependencies(velmora_core_tests velmora_sample_data velmora-make-sample)
endif()
