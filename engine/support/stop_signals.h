// SIGINT and SIGTERM as a request to stop: the handler only records the signal, and the work
// looks at it where stopping leaves every file whole (a run between bursts of solver steps,
// keeping its rows up to the last whole one; a study between cases).
#pragma once

#include <signal.h>

namespace tavrel {

// Installs the stop handlers for its lifetime and puts the previous ones back at its end.
class StopSignals {
  public:
    // What a second signal does: ask again (the work stops once anyway), or end the program at
    // once through the default handler (leaving, at worst, a ".part" file, never a half-written
    // result under its own name).
    enum class Second { asks_again, ends_program };

    explicit StopSignals(Second second);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal that asked to stop since the handlers were installed, or 0.
    static int requested();
    static const char* name(int signal); // "SIGINT" or "SIGTERM"
    // The default handlers, for a forked worker that its runner ends with SIGTERM.
    static void useDefaults();

  private:
    struct sigaction previous_[2]{}; // SIGINT's and SIGTERM's
};

} // namespace tavrel
