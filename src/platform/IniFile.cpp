#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>

namespace platform {

namespace {

// The file's lines without line ends; nullopt when it cannot be read (missing included).
std::optional<QStringList> ReadLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
}

// "[name]" → name; nullopt for any other line.
std::optional<QString> SectionName(const QString& line) {
    const QString t = line.trimmed();
    if (t.size() < 2 || !t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']')))
        return std::nullopt;
    return t.mid(1, t.size() - 2).trimmed();
}

// "key=value" → {key, value}; nullopt for comments, blank lines and lines without '='.
std::optional<std::pair<QString, QString>> KeyValue(const QString& line) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
        return std::nullopt;
    const qsizetype eq = t.indexOf(QLatin1Char('='));
    if (eq <= 0) return std::nullopt;
    return std::make_pair(t.left(eq).trimmed(), t.mid(eq + 1).trimmed());
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Index range [begin, end) of the lines inside `section` (after its header); nullopt when the
// section is missing. The first section of that name counts, as for reading.
std::optional<std::pair<qsizetype, qsizetype>> SectionRange(const QStringList& lines,
                                                            const QString& section) {
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(lines[i]);
        if (!name || !SameName(*name, section)) continue;
        qsizetype end = i + 1;
        while (end < lines.size() && !SectionName(lines[end])) ++end;
        return std::make_pair(i + 1, end);
    }
    return std::nullopt;
}

// Index of `key`'s line within the range, or -1.
qsizetype KeyLine(const QStringList& lines, std::pair<qsizetype, qsizetype> range,
                  const QString& key) {
    for (qsizetype i = range.first; i < range.second; ++i)
        if (const auto kv = KeyValue(lines[i]); kv && SameName(kv->first, key)) return i;
    return -1;
}

bool WriteLines(const QString& path, const QStringList& lines) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray bytes;
    for (const QString& line : lines) bytes += line.toUtf8() + '\n';
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace

bool IniFile::Exists() const { return QFileInfo(path_).isFile(); }

QString IniFile::ReadString(const QString& section, const QString& key,
                            const QString& fallback) const {
    const auto lines = ReadLines(path_);
    if (!lines) return fallback;
    const auto range = SectionRange(*lines, section);
    if (!range) return fallback;
    const qsizetype at = KeyLine(*lines, *range, key);
    return at < 0 ? fallback : KeyValue((*lines)[at])->second;
}

bool IniFile::HasSection(const QString& section) const {
    const auto lines = ReadLines(path_);
    return lines && SectionRange(*lines, section).has_value();
}

QStringList IniFile::Keys(const QString& section) const {
    QStringList keys;
    const auto lines = ReadLines(path_);
    if (!lines) return keys;
    const auto range = SectionRange(*lines, section);
    if (!range) return keys;
    for (qsizetype i = range->first; i < range->second; ++i) {
        const auto kv = KeyValue((*lines)[i]);
        if (!kv) continue;
        const bool seen = std::any_of(keys.begin(), keys.end(),
                                      [&](const QString& k) { return SameName(k, kv->first); });
        if (!seen) keys << kv->first;
    }
    return keys;
}

bool IniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    QStringList lines;
    if (QFileInfo::exists(path_)) {
        const auto read = ReadLines(path_);
        if (!read) return false;  // never replace a file we could not read
        lines = *read;
    }
    const QString line = key + QLatin1Char('=') + value;
    if (const auto range = SectionRange(lines, section)) {
        const qsizetype at = KeyLine(lines, *range, key);
        if (at >= 0) {
            lines[at] = line;
        } else {
            // After the section's last non-blank line, so a blank separator stays a separator.
            qsizetype insert = range->second;
            while (insert > range->first && lines[insert - 1].trimmed().isEmpty()) --insert;
            lines.insert(insert, line);
        }
    } else {
        lines << QLatin1Char('[') + section + QLatin1Char(']') << line;
    }
    return WriteLines(path_, lines);
}

bool IniFile::DeleteKey(const QString& section, const QString& key) {
    const auto read = ReadLines(path_);
    if (!read) return !QFileInfo::exists(path_);
    QStringList lines = *read;
    const auto range = SectionRange(lines, section);
    if (!range) return true;
    const qsizetype at = KeyLine(lines, *range, key);
    if (at < 0) return true;
    lines.removeAt(at);
    return WriteLines(path_, lines);
}

}  // namespace platform
