# tandrel_previewer: the preview window that the engine component's `Preview` shows. A target of
# its own so that the engine and tandrel-cli stay free of widgets.
add_library(tandrel_previewer STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Previewer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Previewer.h
)
target_link_libraries(tandrel_previewer PUBLIC tandrel_transcode Qt6::Widgets)
target_compile_options(tandrel_previewer PRIVATE ${TANDREL_WARNINGS})
