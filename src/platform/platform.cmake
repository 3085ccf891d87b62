# tandrel_platform: desktop services behind small interfaces (dialogs, shell open, settings
# files, the program's folders, power-off), with Qt implementations; the fakes for tests live in
# tests/platform.
add_library(tandrel_platform STATIC
    ${CMAKE_CURRENT_LIST_DIR}/AppPaths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Dialogs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IniFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RecordMode.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Shell.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SystemPower.cpp
)
target_include_directories(tandrel_platform PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tandrel_platform PUBLIC Qt6::Widgets PRIVATE Qt6::DBus)
target_compile_options(tandrel_platform PRIVATE ${TANDREL_WARNINGS})
