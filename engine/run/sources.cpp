#include "sources.h"

#include "overloaded.h"
#include "seeded_random.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <variant>

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

// The value of each signal of time at `t`.
double signalAt(const source::Step& s, double t) { return t < s.time ? s.before : s.after; }

double signalAt(const source::Ramp& s, double t) {
    return t < s.start_time ? s.initial : s.initial + s.slope * (t - s.start_time);
}

double signalAt(const source::Sine& s, double t) {
    return s.offset + s.amplitude * std::sin(2 * std::numbers::pi * t / s.period + s.phase);
}

double signalAt(const source::Table& s, double t) {
    const auto& times = s.times;
    const auto& values = s.values;
    if (!(t > times.front())) return values.front(); // also a time that is not a number
    if (t >= times.back()) return values.back();
    const size_t k =
        static_cast<size_t>(std::upper_bound(times.begin(), times.end(), t) - times.begin());
    const double w = (t - times[k - 1]) / (times[k] - times[k - 1]);
    return values[k - 1] + w * (values[k] - values[k - 1]);
}

// A sum of cosines, faded in over `ramp` seconds from t = 0: the random signals (a sea, noise).
struct Multisine {
    std::vector<double> omega, amplitude, phase;
    double ramp = 0;
};

double signalAt(const Multisine& s, double t) {
    double sum = 0;
    for (size_t i = 0; i < s.omega.size(); ++i)
        sum += s.amplitude[i] * std::cos(s.omega[i] * t + s.phase[i]);
    if (s.ramp > 0 && t < s.ramp)
        return t > 0 ? sum * 0.5 * (1 - std::cos(std::numbers::pi * t / s.ramp)) : 0.0;
    return sum;
}

// JONSWAP spectral density of the heave [m^2 s] at angular frequency w (DNV's form; gamma = 1
// is Pierson-Moskowitz): the Pierson-Moskowitz shape for `hs` and the peak `wp`, normalised by
// 1 - 0.287 ln(gamma), times the peak enhancement.
double jonswap(const source::Sea& s, double wp, double w) {
    const double width = w <= wp ? 0.07 : 0.09;
    const double pierson_moskowitz = 5.0 / 16.0 * s.hs * s.hs * std::pow(wp, 4) * std::pow(w, -5) *
                                     std::exp(-1.25 * std::pow(wp / w, 4));
    const double shape = std::exp(-0.5 * std::pow((w - wp) / (width * wp), 2));
    return (1 - 0.287 * std::log(s.gamma)) * pierson_moskowitz * std::pow(s.gamma, shape);
}

// Components in equal bins over [lo, hi] rad/s, each at a frequency drawn inside its bin with a
// random phase; `amplitude(w, dw)` gives a component's amplitude.
template <typename Amplitude>
Multisine randomComponents(std::uint64_t seed, int count, double lo, double hi,
                           Amplitude amplitude) {
    SeededRandom random{seed};
    Multisine m;
    const double bin = (hi - lo) / count;
    for (int i = 0; i < count; ++i) {
        const double w = lo + (i + random.open01()) * bin;
        m.omega.push_back(w);
        m.amplitude.push_back(amplitude(w, bin));
        m.phase.push_back(2 * std::numbers::pi * random.open01());
    }
    return m;
}

// The heave is sum a_i sin(w_i t + phi_i) with a_i = sqrt(2 S(w_i) dw) over 0.5 to 5 times the
// peak frequency (where all but a quarter of a percent of Hs lies); its velocity is
// sum a_i w_i cos(w_i t + phi_i).
Multisine seaComponents(const source::Sea& s) {
    const double wp = 2 * std::numbers::pi / s.tp;
    Multisine m =
        randomComponents(s.seed, s.components, 0.5 * wp, 5 * wp, [&](double w, double dw) {
            return std::sqrt(2 * jonswap(s, wp, w) * dw) * w;
        });
    m.ramp = s.ramp;
    return m;
}

// Equal powers over 0 to `bandwidth` Hz, adding up to the variance std^2.
Multisine noiseComponents(const source::Noise& n) {
    return randomComponents(n.seed, n.components, 0, 2 * std::numbers::pi * n.bandwidth,
                            [&](double, double) { return n.std * std::sqrt(2.0 / n.components); });
}

// A signal of time only. The solver asks for the same time several times over (a step's last
// stages and the next step's first share it), so the last value is kept.
template <typename Kind> class TimeSignal : public InputSource {
  public:
    explicit TimeSignal(Kind s) : s_(std::move(s)) {}
    double value(double t, const double*, const SignalBoard&) const override {
        const auto bits = std::bit_cast<std::uint64_t>(t); // -0 and +0 apart
        if (!kept_ || bits != last_time_bits_) {
            last_value_ = signalAt(s_, t);
            last_time_bits_ = bits;
            kept_ = true;
        }
        return last_value_;
    }

  private:
    Kind s_;
    mutable bool kept_ = false;
    mutable std::uint64_t last_time_bits_ = 0;
    mutable double last_value_ = 0;
};

// Each value held from its row's time until the next row's, switched by the run (see
// InputSource::nextSwitch); before the first time, the first value.
class HeldTable : public InputSource {
  public:
    explicit HeldTable(source::Table s) : s_(std::move(s)) {}
    double value(double, const double*, const SignalBoard&) const override {
        return s_.values[row_];
    }
    double nextSwitch() const override {
        return row_ + 1 < s_.times.size() ? s_.times[row_ + 1]
                                          : std::numeric_limits<double>::infinity();
    }
    bool switchAt(double t) override {
        const double before = s_.values[row_];
        while (row_ + 1 < s_.times.size() && s_.times[row_ + 1] <= t)
            ++row_;
        return s_.values[row_] != before;
    }

  private:
    source::Table s_;
    size_t row_ = 0;
};

class Sum : public InputSource {
  public:
    explicit Sum(std::vector<std::unique_ptr<InputSource>> terms) : terms_(std::move(terms)) {}
    double value(double t, const double* c, const SignalBoard& board) const override {
        double total = 0;
        for (const auto& term : terms_)
            total += term->value(t, c, board);
        return total;
    }
    void rates(double t, const double* c, const SignalBoard& board, double* r) const override {
        for (const auto& term : terms_)
            term->rates(t, c, board, r);
    }
    void captureStart(const SignalBoard& board) override {
        for (auto& term : terms_)
            term->captureStart(board);
    }
    std::vector<int> dependencies() const override { return gather(&InputSource::dependencies); }
    bool readsBlocks() const override {
        return std::any_of(terms_.begin(), terms_.end(),
                           [](const auto& term) { return term->readsBlocks(); });
    }
    std::vector<int> controllerSlots() const override {
        return gather(&InputSource::controllerSlots);
    }
    double nextSwitch() const override {
        double next = InputSource::nextSwitch();
        for (const auto& term : terms_)
            next = std::min(next, term->nextSwitch());
        return next;
    }
    bool switchAt(double t) override {
        bool changed = false;
        for (auto& term : terms_)
            changed = term->switchAt(t) || changed;
        return changed;
    }

  private:
    // The terms' lists, one after the other.
    std::vector<int> gather(std::vector<int> (InputSource::*list)() const) const {
        std::vector<int> all;
        for (const auto& term : terms_) {
            const auto part = ((*term).*list)();
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }
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
    PiController(source::Pi s, Signal measured, std::optional<Signal> bias_from, int slot)
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
    source::Pi s_;
    Signal measured_;
    std::optional<Signal> bias_from_;
    int slot_;
    double bias_;
};

} // namespace

double InputSource::nextSwitch() const { return std::numeric_limits<double>::infinity(); }

std::unique_ptr<InputSource> constantSource(double value) {
    return std::make_unique<Constant>(value);
}

std::unique_ptr<InputSource> channelSource(const double* value) {
    return std::make_unique<Channel>(value);
}

std::unique_ptr<InputSource> compileSource(const Source& source, const PortResolver& resolve,
                                           int& controller_count) {
    using Compiled = std::unique_ptr<InputSource>;
    return std::visit(
        Overloaded{[](const source::Constant& c) -> Compiled { return constantSource(c.value); },
                   [](const source::Step& s) -> Compiled {
                       return std::make_unique<TimeSignal<source::Step>>(s);
                   },
                   [](const source::Ramp& s) -> Compiled {
                       return std::make_unique<TimeSignal<source::Ramp>>(s);
                   },
                   [](const source::Sine& s) -> Compiled {
                       return std::make_unique<TimeSignal<source::Sine>>(s);
                   },
                   [](const source::Table& s) -> Compiled {
                       if (s.hold) return std::make_unique<HeldTable>(s);
                       return std::make_unique<TimeSignal<source::Table>>(s);
                   },
                   [&](const source::Sum& sum) -> Compiled {
                       std::vector<Compiled> terms;
                       for (const auto& term : sum.terms) {
                           terms.push_back(compileSource(term, resolve, controller_count));
                       }
                       return std::make_unique<Sum>(std::move(terms));
                   },
                   [&](const source::Connection& c) -> Compiled {
                       return std::make_unique<Connection>(resolve(c.port));
                   },
                   [&](const source::Hold& h) -> Compiled {
                       return std::make_unique<Hold>(resolve(h.port));
                   },
                   [](const source::Sea& sea) -> Compiled {
                       return std::make_unique<TimeSignal<Multisine>>(seaComponents(sea));
                   },
                   [](const source::Noise& noise) -> Compiled {
                       return std::make_unique<TimeSignal<Multisine>>(noiseComponents(noise));
                   },
                   [&](const source::Pi& pi) -> Compiled {
                       std::optional<Signal> bias_from;
                       if (pi.bias_from) bias_from = resolve(*pi.bias_from);
                       return std::make_unique<PiController>(pi, resolve(pi.measure), bias_from,
                                                             controller_count++);
                   }},
        source.kind);
}

} // namespace tavrel::sim
