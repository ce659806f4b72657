#include "background_sink.h"

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <exception>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace tavrel::sim {

namespace {

// Rows handed over together: one lock and wake-up per batch instead of per row.
constexpr std::size_t batch_rows = 64;
// Batches that may wait for the writer before row() waits in turn.
constexpr std::size_t max_waiting_batches = 16;

// Rows one after another: each row's time and values, and where the row ends.
struct Batch {
    std::vector<double> numbers;
    std::vector<std::size_t> ends;

    void add(double time, const std::vector<double>& values) {
        if (ends.empty()) {
            numbers.reserve(batch_rows * (values.size() + 1));
            ends.reserve(batch_rows);
        }
        numbers.push_back(time);
        numbers.insert(numbers.end(), values.begin(), values.end());
        ends.push_back(numbers.size());
    }
    std::size_t rows() const { return ends.size(); }
};

// Starts a thread that receives no signal sent to the process (the mask is inherited from the
// creating thread). Faults of its own still reach it, so that a crash there is reported as one.
template <class Body> std::thread threadWithoutSignals(Body body) {
    sigset_t all, previous;
    sigfillset(&all);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS})
        sigdelset(&all, fault);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    struct Restore {
        sigset_t mask;
        ~Restore() { pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
    } restore{previous};
    return std::thread(std::move(body));
}

} // namespace

struct BackgroundSink::Writer {
    std::vector<ResultSink*> sinks;
    std::vector<Column> columns;
    Batch filling; // the integrating thread's batch, not yet handed over

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Batch> waiting;  // handed over, not yet written
    bool ending = false;        // write what is waiting, then end the sinks
    bool stopping = false;      // drop what is waiting and stop
    std::exception_ptr failure; // the writer's first failure
    std::atomic<bool> failed{false};
    std::thread thread;

    void fail(std::exception_ptr error) {
        const std::lock_guard lock(mutex);
        if (!failure) failure = error;
        failed = true;
    }

    void run() {
        bool begun = true;
        try {
            for (ResultSink* sink : sinks)
                sink->begin(columns);
        } catch (...) {
            begun = false;
            fail(std::current_exception());
        }
        std::vector<double> values;
        for (;;) {
            Batch batch;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !waiting.empty() || ending || stopping; });
                if (stopping) return;
                if (waiting.empty()) break; // ending, and everything is written
                batch = std::move(waiting.front());
                waiting.pop_front();
            }
            changed.notify_all(); // room for another batch
            if (failed) continue; // rows after a failure are dropped
            try {
                write(batch, values);
            } catch (...) {
                fail(std::current_exception());
            }
        }
        // A sink whose begin() failed, or that followed one, was never begun: it is left to
        // its destructor, as when begin() fails on the integrating thread.
        if (begun) endAll();
    }

    void write(const Batch& batch, std::vector<double>& values) {
        std::size_t start = 0;
        for (std::size_t end : batch.ends) {
            values.assign(batch.numbers.begin() + static_cast<std::ptrdiff_t>(start + 1),
                          batch.numbers.begin() + static_cast<std::ptrdiff_t>(end));
            for (ResultSink* sink : sinks)
                sink->row(batch.numbers[start], values);
            start = end;
        }
    }

    void endAll() {
        for (ResultSink* sink : sinks) {
            try {
                sink->end();
            } catch (...) {
                fail(std::current_exception());
            }
        }
    }

    void handOver() {
        if (filling.rows() == 0) return;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return waiting.size() < max_waiting_batches || failed; });
            waiting.push_back(std::move(filling));
        }
        changed.notify_all();
        filling = Batch{};
    }

    void rethrowFailure() {
        const std::lock_guard lock(mutex);
        std::rethrow_exception(failure);
    }

    void stop() {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        thread.join();
    }
};

BackgroundSink::BackgroundSink(std::vector<ResultSink*> sinks)
    : writer_(std::make_unique<Writer>()) {
    writer_->sinks = std::move(sinks);
}

BackgroundSink::~BackgroundSink() {
    if (writer_->thread.joinable()) writer_->stop();
}

void BackgroundSink::begin(const std::vector<Column>& columns) {
    writer_->columns = columns;
    writer_->thread = threadWithoutSignals([this] { writer_->run(); });
}

void BackgroundSink::row(double time, const std::vector<double>& values) {
    Writer& w = *writer_;
    if (w.failed) w.rethrowFailure();
    w.filling.add(time, values);
    if (w.filling.rows() >= batch_rows) w.handOver();
}

void BackgroundSink::end() {
    Writer& w = *writer_;
    if (!w.thread.joinable()) return;
    w.handOver();
    {
        const std::lock_guard lock(w.mutex);
        w.ending = true;
    }
    w.changed.notify_all();
    w.thread.join();
    if (w.failed) w.rethrowFailure();
}

} // namespace tavrel::sim
