#include "TestSupport.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TestMedia.h"
#include "engine/MediaLibraries.h"

namespace testsupport {

std::string ScratchDir(const std::string& name) {
    const char* base = std::getenv("TANDREL_TEST_TMP");
    std::filesystem::path dir = std::filesystem::path(base ? base : "/tmp") / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void AsUnprivilegedUser(const std::function<void()>& check) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0) << "fork failed";
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
                                 ::setuid(kUnprivilegedId) != 0 || ::setuid(0) == 0)) {
            std::fprintf(stderr, "could not give up root\n");
            std::_Exit(3);
        }
        check();
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the check as user " << kUnprivilegedId << " failed (its messages are above), status "
        << status;
}

std::string UnprivilegedDir(const std::string& name) {
    const std::string dir = ScratchDir(name);
    // The private scratch base is made with mode 0700: others may pass through, not list it.
    if (const char* base = std::getenv("TANDREL_TEST_TMP")) {
        struct stat st {};
        if (::stat(base, &st) == 0) ::chmod(base, (st.st_mode & 07777) | 0111);
    }
    if (::geteuid() == 0 && ::chown(dir.c_str(), kUnprivilegedId, kUnprivilegedId) != 0)
        ADD_FAILURE() << "cannot give " << dir << " to user " << kUnprivilegedId;
    return dir;
}

int64_t MTimeNs(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

ScopedTimeZone::ScopedTimeZone(const char* tz) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    ::setenv("TZ", tz, 1);
    ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (had_)
        ::setenv("TZ", old_.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

void LoadLibrariesOrFail(uint32_t set) {
    std::string error;
    ASSERT_TRUE(LoadMediaLibraries(set ? set : kConversionSet, QString(), &error)) << error;
}

int Run(const std::string& command, std::string* out) {
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    const int status = ::pclose(p);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

CommandResult RunCapturing(const std::string& command) {
    const char* base = std::getenv("TANDREL_TEST_TMP");
    std::string errFile = std::string(base ? base : "/tmp") + "/stderr-XXXXXX";
    const int fd = ::mkstemp(errFile.data());
    CommandResult r;
    if (fd < 0) {
        ADD_FAILURE() << "cannot make a file for the standard error of: " << command;
        return r;
    }
    ::close(fd);
    r.status = Run(command + " 2>" + testmedia::Quote(errFile), &r.out);
    r.err = ReadFile(errFile);
    ::unlink(errFile.c_str());
    return r;
}

CommandResult Cli(const std::string& args, const std::string& dir) {
    const std::string cd = dir.empty() ? "" : "cd " + testmedia::Quote(dir) + " && ";
    return RunCapturing(cd + TANDREL_CLI + " " + args);
}

QJsonObject FfprobeJson(const std::string& path) {
    std::string out;
    if (Run("ffprobe -v error -print_format json -show_format -show_streams " +
                testmedia::Quote(path),
            &out) != 0)
        return {};
    return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
}

}  // namespace testsupport
