// Result writing on a thread of its own: the integration hands each row over and goes on while
// the rows are formatted and written, so that writing the files costs the run little more than
// copying the numbers.
#pragma once

#include "simulation.h"

#include <memory>
#include <vector>

namespace tavrel::sim {

// Runs `sinks` (which must outlive it) on a writer thread, in order, with the rows in the order
// given. Rows pass in batches through a bounded queue: when the writer falls behind, row()
// waits, so memory stays flat however long the run.
//
// A failure on the writer (a full disk) stops the writing; the next row() rethrows it, so the
// run stops as it would have with the sinks on its own thread. end() waits for every row to be
// written, then ends every sink, even after one of them failed, and rethrows the first failure.
// Destruction without end() drops what is not yet written and leaves the sinks un-ended.
//
// The writer thread blocks the signals sent to the process: a stop request (SIGINT) reaches the
// integrating thread, which decides where the run ends.
class BackgroundSink : public ResultSink {
  public:
    explicit BackgroundSink(std::vector<ResultSink*> sinks);
    ~BackgroundSink() override;
    BackgroundSink(const BackgroundSink&) = delete;
    BackgroundSink& operator=(const BackgroundSink&) = delete;

    void begin(const std::vector<Column>& columns) override;
    void row(double time, const std::vector<double>& values) override;
    void end() override;

  private:
    struct Writer;
    std::unique_ptr<Writer> writer_;
};

} // namespace tavrel::sim
