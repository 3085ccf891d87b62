// Where the program finds its own files and keeps the user's: the executable's folder (LibAV),
// the data folder (skins, help, sounds), the settings folder, and the default output and
// snapshot folders. Any thread; reads the environment at each call.
#pragma once

#include <QString>

namespace platform::AppPaths {

// The running executable's folder, without a trailing separator.
QString ExecutableDir();

// The folder with an optional private copy of the media libraries: ExecutableDir() + "/LibAV".
QString LibAVDir();

// The folder holding skins/, help/ and sounds/: the executable's folder when it has them (a
// build tree or a portable copy), else the installed data folder <prefix>/share/tandrel found
// relative to the executable (<prefix>/bin/tandrel). TANDREL_DATA_DIR overrides both.
QString DataDir();
// DataDir() + "/" + relative (e.g. "sounds/cam.wav").
QString DataFile(const QString& relative);

// The settings folder: TANDREL_CONFIG_DIR when set; else the executable's folder when a
// writable system.ini is already there (portable use); else $XDG_CONFIG_HOME/tandrel
// (~/.config/tandrel when XDG_CONFIG_HOME is unset or not absolute). Not created here.
QString ConfigDir();
// ConfigDir() + "/system.ini".
QString SettingsFile();

// The user's home folder ($HOME, else the password database's entry).
QString HomeDir();
// "~/Video_Directory": where converted files go unless the user chose another folder.
QString DefaultOutputFolder();
// "~/Video_Directory/快照": where snapshots go unless the user chose another folder.
QString DefaultSnapshotFolder();

// A folder stored in the settings counts only when it is an absolute path (a value written by
// another system, such as "C:\Video_Directory", counts as missing), not empty and not the
// "Error" fallback.
bool IsUsableStoredFolder(const QString& value);

}  // namespace platform::AppPaths
