// Helpers for tests: scratch folders, file contents, binding the media libraries.
#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace testsupport {

// A fresh folder under this test program's private temporary folder.
std::string ScratchDir(const std::string& name);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// Modification time in nanoseconds, -1 when missing.
int64_t MTimeNs(const std::string& path);

// Central European time: UTC+1, and UTC+2 from the last Sunday of March to the last Sunday of
// October. The zone of tests about local time, so that summer time is part of the answer.
inline constexpr const char* kCentralEuropeanTime = "CET-1CEST,M3.5.0,M10.5.0/3";

// Sets TZ (and re-reads it) for the object's lifetime, then puts the previous value back.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    bool had_;
    std::string old_;
};

// Permission checks that also hold for root (as CI runs): the check runs in a child process
// that drops to the user and group 65534, which own nothing. Its test assertions report as
// usual; the calling test fails when any of them failed, the child died, or the identity could
// not be dropped. Without root the child keeps the caller's identity.
inline constexpr unsigned kUnprivilegedId = 65534;
void AsUnprivilegedUser(const std::function<void()>& check);
// A fresh scratch folder owned by that user, reachable by it through the scratch folders above.
std::string UnprivilegedDir(const std::string& name);

// Binds the conversion set (or `set`) by the system search path; fails the test otherwise.
void LoadLibrariesOrFail(uint32_t set = 0);

// Runs a command line through /bin/sh; returns its exit status and stdout.
int Run(const std::string& command, std::string* out = nullptr);

// A command's exit status, standard output and standard error.
struct CommandResult {
    int status = -1;
    std::string out, err;
};
// Safe to call from several threads at once.
CommandResult RunCapturing(const std::string& command);
// The build's tandrel-cli with `args` (already quoted for the shell; redirections allowed), as
// a user runs it, in the folder `dir` when one is given.
CommandResult Cli(const std::string& args, const std::string& dir = {});

// What the reference tool says of a file: `ffprobe -show_format -show_streams` as JSON (an
// empty object when the tool failed).
QJsonObject FfprobeJson(const std::string& path);

}  // namespace testsupport
