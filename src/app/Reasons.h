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

// For the log: the Chinese sentence, two spaces and the English text; the English text alone
// when no sentence fits.
QString ReasonLogText(const std::string& english);

}  // namespace app
