# The Windows ZIP (cpack -G ZIP in the build folder): velmora-<version>-windows-x64.zip holding
#
#   velmora-cli.exe, README.txt
#   System/                      system files and the stored sample data set
#   lang/<code>/LanguageData.ini what "velmora-cli language <code>" installs
#
# A portable layout: the program runs on the System folder beside it while that is writable.
# Included after SampleData.cmake, whose outputs it installs.

install(TARGETS velmora-cli RUNTIME DESTINATION .)

# From the source tree, not from bin/System: a developer's port and station must not ship.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/System/ DESTINATION System)
foreach(stored IN LISTS VELMORA_SAMPLE_OUTPUTS)
    file(RELATIVE_PATH relative ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/System ${stored})
    get_filename_component(relative_dir ${relative} DIRECTORY)
    install(FILES ${stored} DESTINATION System/${relative_dir})
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/System/LanguageData.ini DESTINATION lang/en)
file(GLOB VELMORA_LANGUAGE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/lang/*/LanguageData.ini)
foreach(file IN LISTS VELMORA_LANGUAGE_FILES)
    get_filename_component(code_dir ${file} DIRECTORY)
    get_filename_component(code ${code_dir} NAME)
    install(FILES ${file} DESTINATION lang/${code})
endforeach()

configure_file(${CMAKE_SOURCE_DIR}/cmake/windows/README.txt ${CMAKE_BINARY_DIR}/README.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)

set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME velmora-${PROJECT_VERSION}-windows-x64)
set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
