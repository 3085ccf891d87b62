// tandrel-cli commands. Each takes its own arguments (argv[0] is the command name) and returns
// the exit status: 0 success, 1 when any file failed, 2 for a usage error.
#pragma once

#include <QStringList>

// Binds the conversion libraries from the default place; prints the reason and returns false
// when that fails.
bool CliLoadLibraries();

int RunLibs(const QStringList& args);
int RunProbe(const QStringList& args);
int RunTranscode(const QStringList& args);
int RunProfiles(const QStringList& args);
int RunConvert(const QStringList& args);
int RunPlay(const QStringList& args);
int RunSnapshot(const QStringList& args);
int RunLock(const QStringList& args);
int RunPaths(const QStringList& args);
