# tandrel_platform: desktop services behind small interfaces (dialogs, shell open, settings
# files, the program's folders, power-off, desktop notifications, URL download, skins, the
# password lock, Qt's own texts in Chinese), with Qt implementations; the fakes for tests live in
# tests/platform.
add_library(tandrel_platform STATIC
    ${CMAKE_CURRENT_LIST_DIR}/AppPaths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Dialogs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Downloader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/IniFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Notifier.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PasswordLock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RecordMode.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Shell.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Skins.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SystemPower.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Translations.cpp
)
target_include_directories(tandrel_platform PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tandrel_platform PUBLIC Qt6::Widgets Qt6::Network PRIVATE Qt6::DBus)
target_compile_options(tandrel_platform PRIVATE ${TANDREL_WARNINGS})
# The check mark of the skins' ticked check boxes (":/skins/tick-light.xpm", "…-dark.xpm").
qt_add_resources(tandrel_platform skin_images PREFIX /skins
    BASE ${CMAKE_CURRENT_LIST_DIR}/images
    FILES ${CMAKE_CURRENT_LIST_DIR}/images/tick-light.xpm
          ${CMAKE_CURRENT_LIST_DIR}/images/tick-dark.xpm)
