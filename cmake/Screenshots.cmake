# velmora-screenshots: renders every window into PNG files (offscreen), for checking layouts
# and translations. It reads the System folder beside it, like the program.
add_executable(velmora-screenshots ${CMAKE_SOURCE_DIR}/tools/screenshots.cpp)
target_link_libraries(velmora-screenshots PRIVATE velmora_gui)
add_dependencies(velmora-screenshots velmora_system_files velmora_sample_data)
