// An old-style command line ("-i a.avi -vcodec mpeg4 -b 800k out.avi") applied to a task through
// the option dispatcher: options before an input apply to it, options after the last input to
// the next output; every other word is an output file. UI thread (the thread building the task).
#pragma once

#include <string>
#include <vector>

#include "engine/FFmpeg.h"

enum class CommandLineResult { Ok, UsageError, Failed };

// `join`: the outputs join all inputs one after another. On failure *message says why.
CommandLineResult ApplyCommandLine(TCustomFFmpeg& task, const std::vector<std::string>& words,
                                   bool join, std::string* message);
