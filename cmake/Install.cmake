# Installation (cmake --install) and the Debian package (cpack -G DEB).
#
#   bin/velmora, bin/velmora-cli, bin/velmora-sim
#   share/velmora/System/                 system files and the stored sample data set; the
#                                         programs copy this folder to the user's data folder
#                                         on their first start (src/platform/program_folder.h)
#   share/velmora/lang/<code>/LanguageData.ini   what "velmora-cli language <code>" installs
#   share/applications/velmora.desktop, share/icons/hicolor/scalable/apps/velmora.svg
#   share/man/man1/velmora.1.gz, velmora-cli.1.gz, velmora-sim.1.gz
#   share/doc/velmora/changelog.gz
#   share/doc/velmora/copyright           the machine-readable copyright file Debian asks for
#
# Included after SampleData.cmake, whose outputs it installs.

include(GNUInstallDirs)

set(VELMORA_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/velmora)

install(TARGETS velmora-cli velmora-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET velmora)
    install(TARGETS velmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The system files come from the source tree, not from bin/System: the programs write their
# settings back there, and a developer's port and station must not ship.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/System/ DESTINATION ${VELMORA_SHARE_DIR}/System)
foreach(stored IN LISTS VELMORA_SAMPLE_OUTPUTS)
    file(RELATIVE_PATH relative ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/System ${stored})
    get_filename_component(relative_dir ${relative} DIRECTORY)
    install(FILES ${stored} DESTINATION ${VELMORA_SHARE_DIR}/System/${relative_dir})
endforeach()

# Languages: English is the file System/ ships with; the others live under lang/<code>/. The
# build tree gets the same share/velmora/lang/ beside bin/, so "velmora-cli language" works
# there as it does when installed.
set(VELMORA_LANGUAGE_SOURCES "en=${CMAKE_SOURCE_DIR}/System/LanguageData.ini")
file(GLOB VELMORA_LANGUAGE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/lang/*/LanguageData.ini)
foreach(file IN LISTS VELMORA_LANGUAGE_FILES)
    get_filename_component(code_dir ${file} DIRECTORY)
    get_filename_component(code ${code_dir} NAME)
    list(APPEND VELMORA_LANGUAGE_SOURCES "${code}=${file}")
endforeach()
set(VELMORA_LANGUAGE_OUTPUTS)
foreach(entry IN LISTS VELMORA_LANGUAGE_SOURCES)
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 code)
    list(GET pair 1 source)
    install(FILES ${source} DESTINATION ${VELMORA_SHARE_DIR}/lang/${code})
    set(output ${CMAKE_BINARY_DIR}/share/velmora/lang/${code}/LanguageData.ini)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}
        DEPENDS ${source}
        COMMENT "Copying language file ${code}"
        VERBATIM)
    list(APPEND VELMORA_LANGUAGE_OUTPUTS ${output})
endforeach()
add_custom_target(velmora_language_files ALL DEPENDS ${VELMORA_LANGUAGE_OUTPUTS})

install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/velmora.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/velmora.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Man pages and the changelog ship compressed, as Debian has them; without gzip the plain files
# go in.
find_program(VELMORA_GZIP gzip)
set(VELMORA_COMPRESSED_DOCS
    doc/velmora.1 ${CMAKE_INSTALL_MANDIR}/man1
    doc/velmora-cli.1 ${CMAKE_INSTALL_MANDIR}/man1
    doc/velmora-sim.1 ${CMAKE_INSTALL_MANDIR}/man1
    packaging/changelog ${CMAKE_INSTALL_DATADIR}/doc/velmora)
set(VELMORA_COMPRESSED_OUTPUTS)
while(VELMORA_COMPRESSED_DOCS)
    list(POP_FRONT VELMORA_COMPRESSED_DOCS source destination)
    get_filename_component(name ${source} NAME)
    if(VELMORA_GZIP)
        set(output ${CMAKE_BINARY_DIR}/compressed/${name}.gz)
        add_custom_command(
            OUTPUT ${output}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/compressed
            COMMAND sh -c "\"$0\" -9 -n -c \"$1\" > \"$2\"" ${VELMORA_GZIP}
                    ${CMAKE_SOURCE_DIR}/${source} ${output}
            DEPENDS ${CMAKE_SOURCE_DIR}/${source}
            COMMENT "Compressing ${name}"
            VERBATIM)
        list(APPEND VELMORA_COMPRESSED_OUTPUTS ${output})
    else()
        set(output ${CMAKE_SOURCE_DIR}/${source})
    endif()
    install(FILES ${output} DESTINATION ${destination})
endwhile()
add_custom_target(velmora_compressed_docs ALL DEPENDS ${VELMORA_COMPRESSED_OUTPUTS})

# Installs into a temporary prefix and runs the installed programs there.
if(VELMORA_BUILD_TESTS)
    add_test(NAME install.prefix
             COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh ${CMAKE_BINARY_DIR}
                     ${CMAKE_COMMAND})
    set_tests_properties(install.prefix PROPERTIES TIMEOUT 300)
endif()

# The Debian package: cpack -G DEB in the build folder gives velmora_<version>_<arch>.deb.
set(VELMORA_PACKAGE_MAINTAINER "Velmora Project <velmora@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VELMORA_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "writes actuator parameters and step data into motor controllers (Modbus RTU)")
# Broken into lines here: the control file keeps them as they are, and Debian wants at most 80
# characters a line (CPack puts a space before each).
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora writes an electric actuator's parameter set and step data into its
motor controller over a serial line as a Modbus RTU master, verifies every
write by reading it back, backs a controller up into a file and restores it.
It finds the controller by searching station IDs and bit rates and asks a rule
file which operations the controller's software version allows.

The package holds the desktop program (velmora), the command-line tool
(velmora-cli), a virtual controller for training and tests (velmora-sim) and
a sample data set.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELMORA_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps (dpkg-dev) names every library package the binaries link with, the Qt 6
# runtime and the C and C++ runtime, at the versions they need. Without it the Qt packages are
# named by hand.
find_program(VELMORA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VELMORA_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
elseif(TARGET velmora)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libqt6widgets6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6core6 (>= 6.4), libsqlite3-0, libc6, libstdc++6")
endif()
if(TARGET velmora)
    # Japanese texts need a font with its characters.
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-noto-cjk")
endif()
include(CPack)
