// Conversions through `tandrel-cli convert` with catalogue profiles, read back with ffprobe, and
// what each output must hold according to its profile's job fields (the options model's defaults
// or a chosen item) and the containers' and targets' known behaviour. Shared by the end-to-end
// tests of every profile and those of everyday files.
#pragma once

#include <QJsonObject>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "formats/FormatCatalog.h"
#include "formats/OptionsModel.h"

namespace profileruns {

// One conversion through the command line and what came of it.
struct Conversion {
    int profile = 0;
    std::string args;  // extra arguments (--set …)
    std::string outDir;
    int status = -1;
    bool finished = false;
    std::string output;  // the output path the command reported
    std::string error;   // the task's error text
    std::string log;     // the command's standard output, for failure messages
    QJsonObject probe;   // ffprobe's view of the output (empty when there is none)
};

// Converts `source` with run.profile into run.outDir and fills in the outcome.
void convert(Conversion& run, const std::string& source);
// Runs every conversion, two at a time.
void convertAll(std::vector<Conversion>& runs, const std::string& source);

// The profiles in picker order; `distinct` leaves out the indexes that share a profile with an
// earlier one (2 and 3 are 1, 7–9 are 6).
std::vector<int> profileIndexes(bool distinct);

// The job fields of a profile with one list item chosen (or none).
formats::JobFields fieldsFor(int index,
                             std::optional<std::pair<formats::Slot, int>> pick = std::nullopt,
                             const std::string& source = "/src/clip.mp4");
std::string extensionOf(int index);

// What a source offers where a profile keeps the source's choice.
struct SourceFacts {
    int width = 640, height = 360;  // as shown (a turned picture's shown size)
    int sampleRate = 44100;
    int channels = 2;
};

struct Expected {
    std::string container;
    std::string video;     // empty: no video stream
    std::string videoTag;  // empty: not checked
    int width = 0, height = 0;
    std::string audio;
    int sampleRate = 0;
    int channels = 0;
};
Expected expectedFor(const formats::JobFields& f, const std::string& ext,
                     const SourceFacts& src = {});

// The RealVideo encoders take sizes in steps of 16 (RealVideo 1) or 4 (RealVideo 2) only: the
// expected size, rounded down to the step of the expected video codec.
void FitEncoderStep(Expected& e);

QJsonObject firstStream(const QJsonObject& probe, const char* type);

// What is wrong with a conversion, measured against its expectations and the source's length in
// seconds; empty when nothing is.
std::vector<std::string> problems(const Conversion& run, const Expected& e, bool checkAudioDetails,
                                  double seconds = 2.0);
std::string describe(const Conversion& run, const std::vector<std::string>& found);

}  // namespace profileruns
