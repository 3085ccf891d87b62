#include "ProbeTestUtil.h"

#include <QJsonDocument>
#include <QString>
#include <sstream>

#include "TestMedia.h"
#include "TestSupport.h"

namespace probetest {

QJsonObject ReferenceFacts(const std::string& path) { return testsupport::FfprobeJson(path); }

std::vector<std::string> ReferenceStreamTexts(const std::string& path) {
    static const char* const kMarks[] = {
        " (default)",         " (forced)",        " (dub)",          " (original)",
        " (comment)",         " (lyrics)",        " (karaoke)",      " (hearing impaired)",
        " (visual impaired)", " (clean effects)", " (attached pic)", " (timed thumbnails)",
        " (captions)",        " (descriptions)",  " (metadata)",     " (dependent)",
        " (still image)",
    };
    std::string dump;
    testsupport::Run("ffprobe -hide_banner " + testmedia::Quote(path) + " 2>&1", &dump);
    std::vector<std::string> texts;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find("Stream #");
        if (at == std::string::npos) continue;
        const size_t colon = line.find(": ", at);
        if (colon == std::string::npos) continue;
        std::string text = line.substr(colon + 2);
        for (bool stripped = true; stripped;) {
            stripped = false;
            for (const char* mark : kMarks) {
                const std::string m(mark);
                if (text.size() >= m.size() &&
                    text.compare(text.size() - m.size(), m.size(), m) == 0) {
                    text.erase(text.size() - m.size());
                    stripped = true;
                }
            }
        }
        texts.push_back(text);
    }
    return texts;
}

std::vector<std::string> ProbeStreamTexts(const std::string& infoText) {
    std::vector<std::string> texts;
    size_t pos = 0;
    while (pos < infoText.size()) {
        size_t end = infoText.find("\r\n", pos);
        if (end == std::string::npos) end = infoText.size();
        const std::string line = infoText.substr(pos, end - pos);
        pos = end + 2;
        if (line.rfind("Stream #", 0) != 0) continue;
        std::string text = line.substr(line.find(": ") + 2);
        size_t cut = text.rfind(", StartTime: ");
        if (cut == std::string::npos) cut = text.rfind(", Duration: ");
        texts.push_back(text.substr(0, cut));
    }
    return texts;
}

int64_t SecondsToMicro(const QString& text) {
    if (text.isEmpty()) return -1;
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QString digits = negative ? text.mid(1) : text;
    const QStringList parts = digits.split(QLatin1Char('.'));
    int64_t us = parts[0].toLongLong() * 1000000;
    if (parts.size() > 1) us += parts[1].leftJustified(6, QLatin1Char('0')).left(6).toLongLong();
    return negative ? -us : us;
}

std::string LineStartingWith(const std::string& text, const std::string& prefix) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        if (text.compare(pos, prefix.size(), prefix) == 0) return text.substr(pos, end - pos);
        pos = end + 2;
    }
    return {};
}

}  // namespace probetest
