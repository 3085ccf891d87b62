// Why something failed, in the user's language: the engine, the probe, the player and the library
// loader give their reasons in English ("<path>: No space left on device", "<path>: no progress
// for 60 s", "Load library … error: …"); the window shows the common ones as Chinese sentences
// and keeps the English text for its log. The command-line program keeps the English.
#pragma once

#include <QString>
#include <string>

namespace app {

struct Reason {
    // A Chinese sentence for a known reason; otherwise "错误信息：" and the English text.
    QString text;
    bool known = false;
};

// Reads the first line of an engine, probe, player or loader message. A path before the reason
// is never taken for the reason (a file may be named like one).
Reason ReasonOf(const std::string& english);

// A log line for a failure: "***", the Chinese sentence, "  " and the English text.
QString ReasonLogLine(const std::string& english);

}  // namespace app
