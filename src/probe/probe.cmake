# tandrel_probe: media probe (facts + description text); builds on the engine core.
add_library(tandrel_probe STATIC
    ${CMAKE_CURRENT_LIST_DIR}/AVProbe.cpp
)
target_link_libraries(tandrel_probe PUBLIC tandrel_enginecore)
target_compile_options(tandrel_probe PRIVATE ${TANDREL_WARNINGS})
