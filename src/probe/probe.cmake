# tandrel_probe: media probe (facts + description text); builds on the engine core.
add_library(tandrel_probe STATIC
    ${CMAKE_CURRENT_LIST_DIR}/AVProbe.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MediaInfo.cpp
)
target_link_libraries(tandrel_probe PUBLIC tandrel_enginecore)
target_compile_options(tandrel_probe PRIVATE ${TANDREL_WARNINGS})

# tandrel_infodialog: the media information window over the probe's facts.
add_library(tandrel_infodialog STATIC
    ${CMAKE_CURRENT_LIST_DIR}/InfoDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InfoDialog.h
)
target_link_libraries(tandrel_infodialog PUBLIC tandrel_probe tandrel_platform Qt6::Widgets)
target_compile_options(tandrel_infodialog PRIVATE ${TANDREL_WARNINGS})
