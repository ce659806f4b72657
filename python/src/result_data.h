// Logged rows of a run as the Python package holds them: the host's in-memory sink, shared by
// the numpy arrays that view it, so that a run's results reach Python without a copy.
#pragma once

#include "result_files.h"

#include <memory>

namespace tavrel::python {

struct ResultData {
    std::shared_ptr<const sim::MemorySink> rows;

    void replayInto(sim::ResultSink& sink) const;
};

// Hands every row of `rows` to `sink` as a run would: begin, the rows in order, end (also when
// the sink fails part way, so that it closes its file).
void replay(const sim::MemorySink& rows, sim::ResultSink& sink);

// A copy of the rows logged so far (the source keeps growing while a simulation steps).
ResultData snapshot(const sim::MemorySink& rows);

} // namespace tavrel::python
