// Running tandrel-cli as a user would, and reading what it prints.
#pragma once

#include <QJsonObject>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace clitest {

// The lines of `text`, without their line ends.
std::vector<std::string> Lines(const std::string& text);

// Every line of `text` read as one JSON object; a line that is not one fails the calling test
// and is left out.
std::vector<QJsonObject> JsonLines(const std::string& text);

// The names in `dir`, sorted.
std::vector<std::string> FilesIn(const std::string& dir);

// What ffprobe says of a file's container and streams: the format's duration in seconds (-1
// when it cannot read the file) and the codec of each stream in order.
struct Reference {
    double duration = -1;
    std::vector<std::string> codecs;
};
Reference ReferenceOf(const std::string& path);

}  // namespace clitest
