// What the reference tool says about a file, for comparing the probe against it.
#pragma once

#include <QJsonObject>
#include <cstdint>
#include <string>
#include <vector>

namespace probetest {

// `ffprobe -show_format -show_streams` as JSON; an empty object when the tool failed.
QJsonObject ReferenceFacts(const std::string& path);

// The stream lines of the tool's dump, each from its type word ("Video:", "Audio:") to the end
// of the line, without the stream's disposition marks ("(default)", "(attached pic)" …).
std::vector<std::string> ReferenceStreamTexts(const std::string& path);

// The same part of the probe's stream lines: from the type word up to the start-time part.
std::vector<std::string> ProbeStreamTexts(const std::string& infoText);

// A "%f" number of seconds as the tool prints it, in microseconds; -1 when `text` is empty.
int64_t SecondsToMicro(const QString& text);

// The line of `text` (lines ended by CR LF) that starts with `prefix`, without the line end;
// empty when there is none.
std::string LineStartingWith(const std::string& text, const std::string& prefix);

}  // namespace probetest
