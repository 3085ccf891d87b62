# tandrel_formats_core: the profile catalogue and the options model, without widgets (the
# command line uses it). tandrel_formats: the picker and the options dialog over that model.
add_library(tandrel_formats_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/FormatCatalog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OptionsModel.cpp
)
target_include_directories(tandrel_formats_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tandrel_formats_core PUBLIC Qt6::Core)
target_compile_options(tandrel_formats_core PRIVATE ${TANDREL_WARNINGS})

add_library(tandrel_formats STATIC
    ${CMAKE_CURRENT_LIST_DIR}/PickerDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PickerDialog.h
    ${CMAKE_CURRENT_LIST_DIR}/OptionsDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OptionsDialog.h
)
target_link_libraries(tandrel_formats PUBLIC tandrel_formats_core tandrel_platform Qt6::Widgets)
target_compile_options(tandrel_formats PRIVATE ${TANDREL_WARNINGS})
