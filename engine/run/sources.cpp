#include "sources.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace tavrel::sim {

namespace {

class Constant : public InputSource {
public:
    explicit Constant(double v) : v_(v) {}
    double value(double, const double*, const SignalBoard&) const override { return v_; }
    bool isConstant(double v) const override { return v == v_; }

private:
    double v_;
};

class Channel : public InputSource {
public:
    explicit Channel(const double* v) : v_(v) {}
    double value(double, const double*, const SignalBoard&) const override { return *v_; }

private:
    const double* v_;
};

// A signal of time only. The solver asks for the same time several times over (a step's last
// stages and the next step's first share it), so the last value is kept.
class TimeSignal : public InputSource {
public:
    explicit TimeSignal(Source s) : s_(std::move(s)) {}
    double value(double t, const double*, const SignalBoard&) const override {
        const auto bits = std::bit_cast<std::uint64_t>(t); // -0 and +0 apart
        if (!kept_ || bits != last_time_bits_) {
            last_value_ = compute(t);
            last_time_bits_ = bits;
            kept_ = true;
        }
        return last_value_;
    }

private:
    double compute(double t) const {
        switch (s_.kind) {
        case Source::Kind::step: return t < s_.time ? s_.before : s_.after;
        case Source::Kind::ramp:
            return t < s_.start_time ? s_.initial : s_.initial + s_.slope * (t - s_.start_time);
        case Source::Kind::sine:
            return s_.offset + s_.amplitude * std::sin(2 * std::numbers::pi * t / s_.period + s_.phase);
        case Source::Kind::table: return interpolate(t);
        case Source::Kind::constant:
        case Source::Kind::sum:
        case Source::Kind::connection:
        case Source::Kind::hold:
        case Source::Kind::pi: break; // not signals of time: compileSource builds their own
        }
        return s_.value;
    }

    // Piecewise linear between the rows, held at the first and last values outside them.
    double interpolate(double t) const {
        const auto& times = s_.table_times;
        const auto& values = s_.table_values;
        if (!(t > times.front())) return values.front(); // also a time that is not a number
        if (t >= times.back()) return values.back();
        const size_t k = static_cast<size_t>(std::upper_bound(times.begin(), times.end(), t) -
                                             times.begin());
        const double w = (t - times[k - 1]) / (times[k] - times[k - 1]);
        return values[k - 1] + w * (values[k] - values[k - 1]);
    }
    Source s_;
    mutable bool kept_ = false;
    mutable std::uint64_t last_time_bits_ = 0;
    mutable double last_value_ = 0;
};

class Sum : public InputSource {
public:
    explicit Sum(std::vector<std::unique_ptr<InputSource>> terms) : terms_(std::move(terms)) {}
    double value(double t, const double* c, const SignalBoard& board) const override {
        double total = 0;
        for (const auto& term : terms_) total += term->value(t, c, board);
        return total;
    }
    void rates(double t, const double* c, const SignalBoard& board, double* r) const override {
        for (const auto& term : terms_) term->rates(t, c, board, r);
    }
    void captureStart(const SignalBoard& board) override {
        for (auto& term : terms_) term->captureStart(board);
    }
    std::vector<int> dependencies() const override {
        std::vector<int> all;
        for (const auto& term : terms_) {
            const auto d = term->dependencies();
            all.insert(all.end(), d.begin(), d.end());
        }
        return all;
    }
    bool readsBlocks() const override {
        return std::any_of(terms_.begin(), terms_.end(),
                           [](const auto& term) { return term->readsBlocks(); });
    }
    std::vector<int> controllerSlots() const override {
        std::vector<int> all;
        for (const auto& term : terms_) {
            const auto s = term->controllerSlots();
            all.insert(all.end(), s.begin(), s.end());
        }
        return all;
    }

private:
    std::vector<std::unique_ptr<InputSource>> terms_;
};

class Connection : public InputSource {
public:
    explicit Connection(Signal from) : from_(from) {}
    double value(double, const double*, const SignalBoard& board) const override {
        return board.value(from_);
    }
    std::vector<int> dependencies() const override {
        return from_.is_output ? std::vector<int>{from_.block} : std::vector<int>{};
    }
    bool readsBlocks() const override { return true; }

private:
    Signal from_;
};

// The port's value after the first outputs call, held for the whole run.
class Hold : public InputSource {
public:
    explicit Hold(Signal from) : from_(from) {}
    double value(double, const double*, const SignalBoard&) const override { return held_; }
    void captureStart(const SignalBoard& board) override { held_ = board.value(from_); }

private:
    Signal from_;
    double held_ = 0;
};

// output = bias + kp*e + ki*integral(e), e = setpoint - measured, limited to [min, max]. The
// integral stops while the output is held at a limit and the error pushes further (anti-windup).
class PiController : public InputSource {
public:
    PiController(Source s, Signal measured, std::optional<Signal> bias_from, int slot)
        : s_(std::move(s)), measured_(measured), bias_from_(bias_from), slot_(slot),
          bias_(s_.bias) {}
    double value(double, const double* c, const SignalBoard& board) const override {
        return std::clamp(unlimited(c, board), s_.min, s_.max);
    }
    void rates(double, const double* c, const SignalBoard& board, double* r) const override {
        const double e = error(board);
        const double u = unlimited(c, board);
        const bool pushes_past_max = u > s_.max && s_.ki * e > 0;
        const bool pushes_past_min = u < s_.min && s_.ki * e < 0;
        r[slot_] = pushes_past_max || pushes_past_min ? 0.0 : e;
    }
    void captureStart(const SignalBoard& board) override {
        if (bias_from_) bias_ = board.value(*bias_from_);
    }
    std::vector<int> dependencies() const override {
        return measured_.is_output ? std::vector<int>{measured_.block} : std::vector<int>{};
    }
    bool readsBlocks() const override { return true; }
    std::vector<int> controllerSlots() const override { return {slot_}; }

private:
    double error(const SignalBoard& board) const { return s_.setpoint - board.value(measured_); }
    double unlimited(const double* c, const SignalBoard& board) const {
        return bias_ + s_.kp * error(board) + s_.ki * c[slot_];
    }
    Source s_;
    Signal measured_;
    std::optional<Signal> bias_from_;
    int slot_;
    double bias_;
};

} // namespace

std::unique_ptr<InputSource> constantSource(double value) { return std::make_unique<Constant>(value); }

std::unique_ptr<InputSource> channelSource(const double* value) {
    return std::make_unique<Channel>(value);
}

std::unique_ptr<InputSource> compileSource(const Source& source, const PortResolver& resolve,
                                           int& controller_count) {
    switch (source.kind) {
    case Source::Kind::constant: return constantSource(source.value);
    case Source::Kind::sum: {
        std::vector<std::unique_ptr<InputSource>> terms;
        for (const auto& term : source.terms) {
            terms.push_back(compileSource(term, resolve, controller_count));
        }
        return std::make_unique<Sum>(std::move(terms));
    }
    case Source::Kind::connection: return std::make_unique<Connection>(resolve(source.port));
    case Source::Kind::hold: return std::make_unique<Hold>(resolve(source.port));
    case Source::Kind::pi: {
        std::optional<Signal> bias_from;
        if (source.bias_from) bias_from = resolve(*source.bias_from);
        return std::make_unique<PiController>(source, resolve(source.port), bias_from,
                                              controller_count++);
    }
    case Source::Kind::step:
    case Source::Kind::ramp:
    case Source::Kind::sine:
    case Source::Kind::table: return std::make_unique<TimeSignal>(source);
    }
    throw std::logic_error("source kind without a compiled form");
}

} // namespace tavrel::sim
