#include "stop_signals.h"

#include <csignal>
#include <iterator>

namespace tavrel {

namespace {

volatile std::sig_atomic_t stop_signal = 0;

extern "C" void recordStop(int signal) { stop_signal = signal; }

constexpr int stop_signals[] = {SIGINT, SIGTERM};

} // namespace

StopSignals::StopSignals(Second second) {
    static_assert(std::size(stop_signals) == sizeof previous_ / sizeof previous_[0]);
    stop_signal = 0;
    struct sigaction action {};
    action.sa_handler = &recordStop;
    action.sa_flags = second == Second::ends_program ? SA_RESETHAND : 0;
    sigemptyset(&action.sa_mask);
    for (std::size_t k = 0; k < std::size(stop_signals); ++k)
        sigaction(stop_signals[k], &action, &previous_[k]);
}

StopSignals::~StopSignals() {
    for (std::size_t k = 0; k < std::size(stop_signals); ++k)
        sigaction(stop_signals[k], &previous_[k], nullptr);
}

int StopSignals::requested() { return stop_signal; }

const char* StopSignals::name(int signal) { return signal == SIGINT ? "SIGINT" : "SIGTERM"; }

void StopSignals::useDefaults() {
    for (int signal : stop_signals)
        std::signal(signal, SIG_DFL);
}

} // namespace tavrel
