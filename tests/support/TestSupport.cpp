#include "TestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <QJsonDocument>

#include <gtest/gtest.h>

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
    const std::string errFile = ScratchDir("stderr-capture") + "/stderr";
    CommandResult r;
    r.status = Run(command + " 2>" + testmedia::Quote(errFile), &r.out);
    r.err = ReadFile(errFile);
    return r;
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
