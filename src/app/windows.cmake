# tandrel_windows: the secondary windows the main window opens (about box, password window,
# update dialog), the skin menu, the maker's links and help, and the parts that plug them (and
# the information window) into the main window. The main window's target links it.
add_library(tandrel_windows STATIC
    ${CMAKE_CURRENT_LIST_DIR}/AboutDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AboutDialog.h
    ${CMAKE_CURRENT_LIST_DIR}/Links.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Menus.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PasswordDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PasswordDialog.h
    ${CMAKE_CURRENT_LIST_DIR}/UpdateDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UpdateDialog.h
    ${CMAKE_CURRENT_LIST_DIR}/WindowParts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WindowPicture.cpp
)
target_link_libraries(tandrel_windows PUBLIC tandrel_infodialog tandrel_platform Qt6::Widgets)
target_compile_options(tandrel_windows PRIVATE ${TANDREL_WARNINGS})

# The skins and the help pages go beside the program in the build tree (bin/skins, bin/help),
# and to <prefix>/share/tandrel when installed: platform::AppPaths::DataDir finds either.
set(TANDREL_RESOURCES ${CMAKE_SOURCE_DIR}/resources)
file(GLOB_RECURSE TANDREL_DATA_FILES CONFIGURE_DEPENDS
    ${TANDREL_RESOURCES}/skins/* ${TANDREL_RESOURCES}/help/*)
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/bin/.data-stamp
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${TANDREL_RESOURCES}/skins ${CMAKE_BINARY_DIR}/bin/skins
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${TANDREL_RESOURCES}/help ${CMAKE_BINARY_DIR}/bin/help
    COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/bin/.data-stamp
    DEPENDS ${TANDREL_DATA_FILES}
    COMMENT "Copying skins and help beside the program")
add_custom_target(tandrel_data ALL DEPENDS ${CMAKE_BINARY_DIR}/bin/.data-stamp)
install(DIRECTORY ${TANDREL_RESOURCES}/skins ${TANDREL_RESOURCES}/help DESTINATION share/tandrel)
