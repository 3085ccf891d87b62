// INI files of the usual kind ("[section]", "key=value" lines): system.ini, the downloaded
// version file, the password lock. The file is opened, read or written and closed at every
// call, never held open. Section and key names compare case-insensitively; values are returned
// exactly as stored (surrounding blanks trimmed). Text is UTF-8 (a leading BOM is skipped).
// Writes replace the whole file atomically (a temporary file in the same folder, then a rename),
// keep every other line as it was, and create the file and its folder when missing.
// Any thread; two writers of the same file must not overlap (the UI thread is the only writer).
#pragma once

#include <QString>
#include <QStringList>

namespace platform {

class IniFile {
public:
    explicit IniFile(QString path) : path_(std::move(path)) {}

    const QString& Path() const { return path_; }
    bool Exists() const;

    // The value of `key` in `section`; `fallback` when the file, section or key is missing or
    // the file cannot be read. A key present with an empty value reads as "".
    QString ReadString(const QString& section, const QString& key,
                       const QString& fallback = QString()) const;
    bool HasSection(const QString& section) const;
    // Key names of a section, in file order (first spelling of each).
    QStringList Keys(const QString& section) const;

    // Sets `key` in `section`, adding the section at the end and the key at the end of its
    // section when missing. False when the folder or file cannot be written (nothing changed).
    bool WriteString(const QString& section, const QString& key, const QString& value);
    // Removes a key; true when it is gone afterwards (also when it never existed).
    bool DeleteKey(const QString& section, const QString& key);

private:
    QString path_;
};

}  // namespace platform
