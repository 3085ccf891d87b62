# tandrel_transcode: the task core (set-up, conversion loop) and its audio/video converters.
add_library(tandrel_transcode STATIC
    engine/AudioConverter.cpp
    engine/VideoConverter.cpp
    engine/FFmpeg.cpp
    engine/Transcode.cpp
    engine/FFmpegVCL.cpp
    engine/OutputFiles.cpp
    engine/AmrNbEncoder.cpp
    engine/FrameHook.cpp
    engine/CommandLine.cpp
)
target_link_libraries(tandrel_transcode PUBLIC tandrel_engine tandrel_probe tandrel_enginecore)
target_compile_options(tandrel_transcode PRIVATE ${TANDREL_WARNINGS})
pkg_check_modules(AMRNB REQUIRED IMPORTED_TARGET opencore-amrnb)
target_link_libraries(tandrel_transcode PRIVATE PkgConfig::AMRNB)
