#include "image/interrupt.h"

#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <climits>
#include <cstring>

namespace {

// The signals whose default action ends the process, bar those of a crash (left to the
// sanitizers and debuggers) and of profiling timers.
constexpr std::array kEndingSignals = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT, SIGPIPE,
                                       SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ};

// Read by the handler, so set before it is armed and never left half-written while it is.
char temporaryPath[PATH_MAX];
std::atomic<bool> guarding{false};
std::array<struct sigaction, kEndingSignals.size()> previousActions;

// Appends the decimal digits of `value` at `at`; returns the end. Safe in a handler.
char* appendNumber(char* at, int value) {
    char digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (count > 0) *at++ = digits[--count];
    return at;
}

char* appendText(char* at, const char* text) {
    while (*text != '\0') *at++ = *text++;
    return at;
}

void onEndingSignal(int signal) {
    if (guarding.load()) unlink(temporaryPath);
    char line[96];
    char* end = appendText(line, "\n Render interrupted by signal ");
    end = appendNumber(end, signal);
    end = appendText(end, ": no picture written\n");
    [[maybe_unused]] const ssize_t written = write(STDOUT_FILENO, line, end - line);
    // The handler was reset to the default action when it was entered.
    raise(signal);
}

// Holds back the ending signals of the calling thread, so that none can come between a
// temporary file's creation and its guard.
class EndingSignalsHeld {
  public:
    EndingSignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : kEndingSignals) sigaddset(&held, signal);
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~EndingSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

  private:
    sigset_t previous_;
};

void guard(const std::string& path) {
    if (path.size() >= sizeof temporaryPath) return;  // longer than any name mkstemp makes
    std::memcpy(temporaryPath, path.c_str(), path.size() + 1);
    guarding.store(true);
    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
        sigaction(kEndingSignals[i], &action, &previousActions[i]);
        // An ignored signal stays ignored: under nohup a hang-up must not end the render,
        // and under a file size limit a write must fail, not end the process.
        if (previousActions[i].sa_handler == SIG_IGN) {
            sigaction(kEndingSignals[i], &previousActions[i], nullptr);
        }
    }
}

}  // namespace

int createGuardedTemporary(std::string& pathTemplate) {
    const EndingSignalsHeld held;
    const int fd = mkstemp(pathTemplate.data());
    if (fd >= 0) guard(pathTemplate);
    return fd;
}

void releaseTemporaryFile() {
    if (!guarding.exchange(false)) return;
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
        sigaction(kEndingSignals[i], &previousActions[i], nullptr);
    }
}
