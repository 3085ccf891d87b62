#include "engine/CommandLine.h"

#include <set>

#include "engine/UnicodeProtocol.h"

namespace {

// Options of the vocabulary that take no value on a command line.
const std::set<std::string> kFlags = {
    "an", "vn", "sn", "y", "shortest", "copyts", "dump", "hex", "re", "loop_input", "intra",
    "sameq", "deinterlace", "psnr", "vstats", "qphist", "isync", "xerror", "benchmark",
    "force_fps", "newvideo", "newaudio", "newsubtitle", "h", "L", "version", "formats", "codecs",
    "bsfs", "protocols", "filters"};

}  // namespace

CommandLineResult ApplyCommandLine(TCustomFFmpeg& task, const std::vector<std::string>& words,
                                   bool join, std::string* message) {
    int inputs = 0, outputs = 0;
    try {
        for (size_t i = 0; i < words.size(); ++i) {
            const std::string& word = words[i];
            if (word.size() > 1 && word[0] == '-') {
                const std::string name = word.substr(1);
                if (kFlags.count(name)) {
                    task.SetOption(name, "");
                    continue;
                }
                if (i + 1 >= words.size()) {
                    *message = "-" + name + " needs a value";
                    return CommandLineResult::UsageError;
                }
                const std::string& value = words[++i];
                if (name == "i") {
                    if (!task.OpenInput(FileNameFromNative(QByteArray::fromStdString(value)))) {
                        *message = task.ErrorText();
                        return CommandLineResult::Failed;
                    }
                    ++inputs;
                } else {
                    task.SetOption(name, value);
                }
            } else {
                if (!inputs) {
                    *message = "no input before '" + word + "'";
                    return CommandLineResult::UsageError;
                }
                const TPathFileName output = FileNameFromNative(QByteArray::fromStdString(word));
                if (task.OpenOutput(output, join) < 0) {
                    *message = task.ErrorText();
                    return CommandLineResult::Failed;
                }
                ++outputs;
            }
        }
    } catch (const std::exception& e) {
        *message = e.what();
        return CommandLineResult::Failed;
    }
    if (!inputs || !outputs) {
        *message = "at least one input (-i FILE) and one output file are needed";
        return CommandLineResult::UsageError;
    }
    return CommandLineResult::Ok;
}
