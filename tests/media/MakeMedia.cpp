// Makes every fixture clip once per test run (the CTest fixture step).
#include <cstdio>
#include <string>

#include "TestMedia.h"

int main() {
    std::string error;
    if (!testmedia::MakeAll(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("%zu fixture clips ready\n", testmedia::AllIds().size());
    return 0;
}
