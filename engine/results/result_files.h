// Result files: the logged columns streamed to CSV (named columns with units in the header)
// and to a MAT file that MATLAB and Octave load directly.
#pragma once

#include "simulation.h"

#include <cstdio>
#include <string>

namespace tavrel::sim {

// Both files are written under a temporary name (the path plus ".part") and take their own
// name only when end() has written and closed them without error: a file under its own name is
// never half-written. A failed write throws SimulationError from end() (or from row() for the
// MAT file) and removes the temporary file; so does destruction without end().

// "time [s],rig.bottom_pressure [Pa],..." then one row per output time; each number in the
// shortest form that reads back to the same double.
class CsvSink : public ResultSink {
  public:
    explicit CsvSink(const std::string& path);
    ~CsvSink() override;
    void begin(const std::vector<Column>& columns) override;
    void row(double time, const std::vector<double>& values) override;
    void end() override;

  private:
    std::string path_;
    std::FILE* file_ = nullptr;
};

// One variable per column (dots and brackets replaced by underscores), plus `time`, and a
// cell array of the original names and units; rows are appended as they come. A run stopped
// before its end adds the scalar `interrupted_at` (the time of the last row).
class MatSink : public ResultSink {
  public:
    explicit MatSink(const std::string& path);
    ~MatSink() override;
    void begin(const std::vector<Column>& columns) override;
    void row(double time, const std::vector<double>& values) override;
    void end() override;
    void markInterrupted(double time); // before end()

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Keeps every row in memory (for the Python module and tests).
class MemorySink : public ResultSink {
  public:
    void begin(const std::vector<Column>& columns) override { columns_ = columns; }
    void row(double time, const std::vector<double>& values) override {
        times_.push_back(time);
        rows_.insert(rows_.end(), values.begin(), values.end());
    }
    void end() override {}
    const std::vector<Column>& columns() const { return columns_; }
    const std::vector<double>& times() const { return times_; }
    const std::vector<double>& rows() const { return rows_; } // row-major

  private:
    std::vector<Column> columns_;
    std::vector<double> times_;
    std::vector<double> rows_;
};

// Forwards rows to several sinks.
class TeeSink : public ResultSink {
  public:
    explicit TeeSink(std::vector<ResultSink*> sinks) : sinks_(std::move(sinks)) {}
    void begin(const std::vector<Column>& c) override {
        for (auto* s : sinks_)
            s->begin(c);
    }
    void row(double t, const std::vector<double>& v) override {
        for (auto* s : sinks_)
            s->row(t, v);
    }
    void end() override {
        for (auto* s : sinks_)
            s->end();
    }

  private:
    std::vector<ResultSink*> sinks_;
};

} // namespace tavrel::sim
