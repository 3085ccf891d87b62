# The batch of conversions as the window and tandrel-cli see it (Qt Core only, no widgets).
add_library(tandrel_jobs STATIC
    ${CMAKE_CURRENT_LIST_DIR}/BatchEstimate.cpp
)
target_include_directories(tandrel_jobs PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_compile_options(tandrel_jobs PRIVATE ${TANDREL_WARNINGS})
