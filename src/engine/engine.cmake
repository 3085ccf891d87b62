# tandrel_engine: option vocabulary, task core, component; builds on the engine core and probe.

# The option layer: caller records, option state and dispatcher, presets and target presets.
add_library(tandrel_engine STATIC
    ${CMAKE_CURRENT_LIST_DIR}/FFmpegRecords.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FFmpegOptions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FFmpegPresets.cpp
)
target_link_libraries(tandrel_engine PUBLIC tandrel_enginecore Qt6::Core)
target_compile_options(tandrel_engine PRIVATE ${TANDREL_WARNINGS})
