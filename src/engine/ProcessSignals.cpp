#include "engine/ProcessSignals.h"

#include <fcntl.h>
#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace procsignals {
namespace {

std::atomic<int> gCaught{0};
int gPipe[2] = {-1, -1};

extern "C" void onTermination(int signal) {
    const int saved = errno;
    gCaught.store(signal);
    if (gPipe[1] >= 0) {
        const char byte = static_cast<char>(signal);
        [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
    }
    errno = saved;
}

}  // namespace

void IgnoreFileSizeLimit() { ::signal(SIGXFSZ, SIG_IGN); }

int CatchTermination() {
    if (gPipe[0] < 0 && ::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) gPipe[0] = gPipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = &onTermination;
    ::sigemptyset(&action.sa_mask);
    // The first signal is ours; the second of a kind finds the default again and ends the
    // process, for a user whose stop takes too long.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &action, nullptr);
    return gPipe[0];
}

int TerminationSignal() { return gCaught.load(); }

}  // namespace procsignals
