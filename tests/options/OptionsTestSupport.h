// Shared fixture of the option tests: bound libraries, a fresh option state, captured log lines,
// and opening real encoders with what the state holds.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "engine/FFmpegLogger.h"
#include "engine/FFmpegOptions.h"

class OptionsTest : public ::testing::Test {
protected:
    struct Line {
        TLogLevel Level;
        std::string Text;
    };

    void SetUp() override;
    void TearDown() override;

    // The message of the FFmpegException that SetOption raises, or "<none>".
    std::string ErrorOf(const std::string& name, const std::string& value);
    // Whether a line equal to `text` was logged at `level`.
    bool Logged(TLogLevel level, const std::string& text);
    std::vector<Line> Lines();
    void ClearLines();

    // The value of `key` in a dictionary, "<unset>" when missing.
    static std::string DictValue(const AVDictionary* dict, const std::string& key);
    static int DictCount(const AVDictionary* dict);

    std::unique_ptr<TFFmpegOptions> opts;

private:
    std::mutex linesMutex_;
    std::vector<Line> lines_;
};

// An encoder opened from an option state, as the set-up will: the state's picture and sound
// settings and the state's library options for that codec.
struct TOpenedEncoder {
    AVCodecContext* Context = nullptr;
    int Result = -1;                  // avcodec_open2's
    std::vector<std::string> Unused;  // options the encoder did not take
    ~TOpenedEncoder();
};
std::unique_ptr<TOpenedEncoder> OpenEncoder(const TFFmpegOptions& options, AVMediaType type,
                                            const std::string& codecName);
