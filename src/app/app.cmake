# tandrel_app: the main window and its parts (everything of the program but its entry), so that
# window tests and benchmarks link the same code as the program. tandrel: the program.
add_library(tandrel_app STATIC
    ${CMAKE_CURRENT_LIST_DIR}/MainWindowParts.h
    ${CMAKE_CURRENT_LIST_DIR}/Parts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DefaultParts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JobSlots.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JobListModel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JobListModel.h
    ${CMAKE_CURRENT_LIST_DIR}/MainWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MainWindow.h
    ${CMAKE_CURRENT_LIST_DIR}/JobList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RunControl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PlayerPart.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.h
    ${CMAKE_CURRENT_LIST_DIR}/Reasons.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Reasons.h
)
target_link_libraries(tandrel_app PUBLIC tandrel_formats tandrel_jobrecords tandrel_transcode
                      tandrel_probe tandrel_platform Qt6::Widgets tandrel_windows
                      tandrel_previewer)
target_link_libraries(tandrel_app PUBLIC tandrel_playerpanel)
target_compile_options(tandrel_app PRIVATE ${TANDREL_WARNINGS})

add_executable(tandrel ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(tandrel PRIVATE tandrel_app)
target_compile_options(tandrel PRIVATE ${TANDREL_WARNINGS})
target_compile_definitions(tandrel PRIVATE TANDREL_VERSION="${PROJECT_VERSION}")
set_target_properties(tandrel PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
