// Stop signals: recorded while the handlers are installed, the previous handlers back after,
// and a second signal that ends the program only when asked for.
#include "stop_signals.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using tavrel::StopSignals;

volatile std::sig_atomic_t outer = 0;
extern "C" void recordOuter(int signal) { outer = signal; }

TEST(StopSignals, RecordTheSignalAndPutThePreviousHandlersBack) {
    for (const auto second : {StopSignals::Second::asks_again, StopSignals::Second::ends_program}) {
        outer = 0;
        std::signal(SIGTERM, &recordOuter);
        {
            const StopSignals stop(second);
            EXPECT_EQ(StopSignals::requested(), 0);
            std::raise(SIGTERM);
            EXPECT_EQ(StopSignals::requested(), SIGTERM);
            EXPECT_STREQ(StopSignals::name(StopSignals::requested()), "SIGTERM");
            if (second == StopSignals::Second::asks_again) {
                std::raise(SIGTERM); // still ours: the program goes on
                EXPECT_EQ(outer, 0);
            }
        }
        std::raise(SIGTERM);
        EXPECT_EQ(outer, SIGTERM) << "the previous handler is back";
    }
    std::signal(SIGTERM, SIG_DFL);
}

} // namespace
