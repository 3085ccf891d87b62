# tandrel_jobrecords: job fields -> engine option records and output names, shared by the main
# window and the command line; and the options dialog's duration read through its own engine
# component.
add_library(tandrel_jobrecords STATIC
    ${CMAKE_CURRENT_LIST_DIR}/RecordBuilder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EngineDurationReader.cpp
)
target_link_libraries(tandrel_jobrecords PUBLIC tandrel_formats_core tandrel_engine
                      PRIVATE tandrel_transcode)
target_compile_options(tandrel_jobrecords PRIVATE ${TANDREL_WARNINGS})
