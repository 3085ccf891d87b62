// Snapshot files: names, the four picture formats, and the "SnapShot" settings of system.ini.
// Any thread (the settings functions: the UI thread, which is the only writer of system.ini).
#pragma once

#include <QImage>
#include <QString>
#include <optional>

namespace platform {
class IniFile;
}

namespace player {

enum class SnapshotFormat { Bmp, Jpg, Gif, Png };

// The settings value of a format ("BMP", "JPG", "GIF", "PNG") and back; any other value (also
// another letter case) is no format.
QString SnapshotFormatKey(SnapshotFormat format);
std::optional<SnapshotFormat> SnapshotFormatFromKey(const QString& key);
// ".bmp", ".jpg", ".gif", ".png".
QString SnapshotExtension(SnapshotFormat format);

// folder + "/" + the source's file name without its extension + "_" + n + extension, for the
// smallest n from 1 whose file does not exist yet. A name longer than the 255 bytes a file
// system takes loses characters at the end of the source's part.
QString NextSnapshotPath(const QString& folder, const QString& sourceFile, SnapshotFormat format);

// Writes `image` (any size; converted to 24-bit RGB): BMP as a 24-bit bitmap, JPEG baseline at
// quality 90, PNG with the writer's defaults, GIF reduced to at most 256 colours. The file
// appears only when it is complete: on failure nothing is left at `path` and *error holds the
// reason.
bool WriteSnapshot(const QImage& image, const QString& path, SnapshotFormat format, QString* error);

// Settings, section "SnapShot".
// The format: a missing file, or a "Picture" value that is missing, empty, "Error" or none of
// the four, writes "BMP" and gives BMP.
SnapshotFormat ReadSnapshotFormat(platform::IniFile& ini);
void WriteSnapshotFormat(platform::IniFile& ini, SnapshotFormat format);
// The folder: a stored usable "Dir" (created with its parents when missing); otherwise the
// default folder (~/Video_Directory/快照), created and written to "Dir".
QString SnapshotFolder(platform::IniFile& ini);
// The same choice without writing or creating anything.
QString StoredSnapshotFolder(const platform::IniFile& ini);

}  // namespace player
