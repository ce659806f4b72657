// The writer thread hands every row on in order, and a failure on it reaches the run.
#include "background_sink.h"
#include "result_files.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tavrel::sim;

namespace {

// Keeps the rows, and fails in the step it is told to.
struct Recorder : MemorySink {
    enum class FailIn { nothing, begin, row, end } fail_in = FailIn::nothing;
    int ended = 0;
    void begin(const std::vector<Column>& c) override {
        if (fail_in == FailIn::begin) throw SimulationError("begin failed");
        MemorySink::begin(c);
    }
    void row(double t, const std::vector<double>& v) override {
        if (fail_in == FailIn::row && times().size() == 100) throw SimulationError("row failed");
        MemorySink::row(t, v);
    }
    void end() override {
        ++ended;
        if (fail_in == FailIn::end) throw SimulationError("end failed");
    }
};

const std::vector<Column> columns = {{"a", "", "", "", true}, {"b", "", "", "", true}};

// Hands `rows` rows over; returns the message of what the run saw thrown, or "".
std::string feed(BackgroundSink& sink, int rows) {
    try {
        sink.begin(columns);
        try {
            for (int i = 0; i < rows; ++i)
                sink.row(i, {2.0 * i, -1.0 * i});
        } catch (...) {
            sink.end(); // as the engine does when a row throws
            throw;
        }
        sink.end();
    } catch (const SimulationError& error) {
        return error.what();
    }
    return "";
}

} // namespace

TEST(BackgroundSink, EveryRowArrivesInOrderAcrossBatches) {
    for (int rows : {0, 1, 63, 64, 65, 5000}) {
        Recorder first, second;
        BackgroundSink sink({&first, &second});
        EXPECT_EQ(feed(sink, rows), "");
        for (const Recorder* r : {&first, &second}) {
            ASSERT_EQ(r->times().size(), static_cast<size_t>(rows));
            EXPECT_EQ(r->ended, 1);
            for (int i = 0; i < rows; ++i) {
                EXPECT_EQ(r->times()[i], i);
                EXPECT_EQ(r->rows()[2 * i], 2.0 * i);
                EXPECT_EQ(r->rows()[2 * i + 1], -1.0 * i);
            }
        }
    }
}

TEST(BackgroundSink, AFailureStopsTheRunAndEveryBegunSinkIsEnded) {
    using FailIn = Recorder::FailIn;
    struct Case {
        FailIn fail_in;
        const char* message;
        int other_ended; // how often the sink that did not fail was ended
    };
    for (const Case c : {Case{FailIn::begin, "begin failed", 0}, Case{FailIn::row, "row failed", 1},
                         Case{FailIn::end, "end failed", 1}}) {
        Recorder failing, other;
        failing.fail_in = c.fail_in;
        BackgroundSink sink({&failing, &other});
        EXPECT_EQ(feed(sink, 100000), c.message);
        EXPECT_EQ(other.ended, c.other_ended);
        if (c.fail_in == FailIn::row) {
            EXPECT_LT(other.times().size(), 100000u) << "the run went on after the failure";
        }
    }
}

TEST(BackgroundSink, DestructionWithoutEndStopsTheWriter) {
    Recorder recorder;
    {
        BackgroundSink sink({&recorder});
        sink.begin(columns);
        for (int i = 0; i < 1000; ++i)
            sink.row(i, {0.0, 0.0});
    }
    EXPECT_EQ(recorder.ended, 0);
}
