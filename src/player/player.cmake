# tandrel_player: the player component (reading, decoding, timing, sound, drawing into a widget)
# and snapshot files; tandrel_playerpanel: the main window's player panel.
add_library(tandrel_player STATIC
    ${CMAKE_CURRENT_LIST_DIR}/FFPlay.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EventRing.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Queues.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PlaybackRead.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PlaybackOutput.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VideoWidget.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SdlAudio.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Snapshot.cpp
)
target_link_libraries(tandrel_player PUBLIC tandrel_enginecore tandrel_platform Qt6::Gui
                      Qt6::Widgets PRIVATE JPEG::JPEG)
target_compile_options(tandrel_player PRIVATE ${TANDREL_WARNINGS})

add_library(tandrel_playerpanel STATIC
    ${CMAKE_CURRENT_LIST_DIR}/PlayerPanel.h
    ${CMAKE_CURRENT_LIST_DIR}/PlayerPanel.cpp
)
target_link_libraries(tandrel_playerpanel PUBLIC tandrel_player tandrel_platform Qt6::Widgets)
target_compile_options(tandrel_playerpanel PRIVATE ${TANDREL_WARNINGS})

# The capture sound goes beside the programs, where AppPaths::DataDir() finds it in a build tree.
configure_file(${PROJECT_SOURCE_DIR}/resources/sounds/cam.wav
               ${CMAKE_BINARY_DIR}/bin/sounds/cam.wav COPYONLY)
install(FILES ${PROJECT_SOURCE_DIR}/resources/sounds/cam.wav DESTINATION share/tandrel/sounds)
