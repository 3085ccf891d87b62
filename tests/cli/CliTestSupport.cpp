#include "CliTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

namespace clitest {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<QJsonObject> JsonLines(const std::string& text) {
    std::vector<QJsonObject> out;
    for (const std::string& line : Lines(text)) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject()) {
            ADD_FAILURE() << "not a JSON object: " << line;
            continue;
        }
        out.push_back(doc.object());
    }
    return out;
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Reference ReferenceOf(const std::string& path) {
    const QJsonObject facts = testsupport::FfprobeJson(path);
    Reference r;
    if (!facts.contains("format")) return r;
    r.duration = facts["format"].toObject()["duration"].toString().toDouble();
    for (const auto& s : facts["streams"].toArray())
        r.codecs.push_back(s.toObject()["codec_name"].toString().toStdString());
    return r;
}

}  // namespace clitest
