// A file of any content converted by the engine, as tandrel-cli transcode would: open, set up,
// the packet loop, clean-up. The output is tiny (a second at most, 32x24 pictures, 8 kHz mono
// sound) so that each input is quick. Nothing may crash, leak or hang, and a task either finishes
// or ends with an error that says why.
//
// Input: the first byte picks the output (container and codecs), the rest is the file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "FuzzSupport.h"
#include "engine/CommandLine.h"
#include "engine/FFmpeg.h"

namespace {

struct OutputKind {
    const char* file;
    std::vector<std::string> words;
};

// Output options after "-i INPUT -t 1".
const OutputKind kOutputs[] = {
    {"out.avi",
     {"-s", "32x24", "-r", "10", "-vcodec", "mpeg4", "-ac", "1", "-ar", "16000", "-acodec", "mp2"}},
    {"out.mp4",
     {"-s", "32x24", "-r", "10", "-vcodec", "mpeg4", "-ac", "1", "-ar", "8000", "-acodec", "aac"}},
    {"out.mkv",
     {"-s", "32x24", "-r", "10", "-vcodec", "mjpeg", "-ac", "1", "-ar", "8000", "-acodec", "flac"}},
    {"out.wav", {"-vn", "-ac", "1", "-ar", "8000"}},
    {"out.flv",
     {"-s", "32x24", "-r", "10", "-vcodec", "flv", "-ac", "1", "-ar", "22050", "-acodec",
      "libmp3lame"}},
    {"out.mpg",
     {"-s", "32x24", "-vcodec", "mpeg1video", "-ac", "1", "-ar", "16000", "-acodec", "mp2"}},
    {"out.avi", {"-vcodec", "copy", "-acodec", "copy"}},
    {"out.mkv", {"-vcodec", "copy", "-an"}},
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const OutputKind& kind = kOutputs[data[0] % (sizeof kOutputs / sizeof kOutputs[0])];
    const std::string input = fuzz::WriteScratchFile("input", data + 1, size - 1);
    const std::string output = fuzz::ScratchPath(kind.file);

    std::vector<std::string> words = {"-i", input, "-t", "1"};
    words.insert(words.end(), kind.words.begin(), kind.words.end());
    words.push_back("-y");
    words.push_back(output);

    {
        TCustomFFmpeg task(4);
        task.SetOption("v", "-1");
        std::string message;
        const CommandLineResult set = ApplyCommandLine(task, words, false, &message);
        if (set == CommandLineResult::UsageError) std::abort();  // the words above are valid
        if (set == CommandLineResult::Ok) {
            task.RunConversion();
            if (!task.Finished() && (!task.HasError() || task.ErrorMessage().empty()))
                std::abort();  // ended neither finished nor with a reason
        } else if (message.empty()) {
            std::abort();
        }
    }
    ::unlink(output.c_str());
    return 0;
}
