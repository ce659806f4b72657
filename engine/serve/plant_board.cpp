#include "plant_board.h"

#include <chrono>
#include <cmath>

namespace tavrel::serve {

namespace {

// More intervals than this asked for at once are refused: a typo should not run for days.
constexpr long max_pending_advance = 1000000;

} // namespace

PlantBoard::PlantBoard(const RegisterMap& map, std::vector<InputRule> rules, double timeout,
                       std::function<double()> clock, EventLog log)
    : map_(map), rules_(std::move(rules)), timeout_(timeout), clock_(std::move(clock)),
      log_(std::move(log)), input_image_(map.size(RegisterTable::input)),
      holding_image_(map.size(RegisterTable::holding)), written_(map.writtenCount()) {}

std::optional<Refused> PlantBoard::answer(int client, const Request& request) {
    switch (request.function) {
    case read_input: return read(RegisterTable::input, request);
    case read_holding: return read(RegisterTable::holding, request);
    default: return write(client, request);
    }
}

// Every register read must belong to a mapped value.
std::optional<Refused> PlantBoard::read(RegisterTable table, const Request& request) const {
    const unsigned end = unsigned(request.address) + request.count;
    for (unsigned a = request.address; a < end; ++a) {
        bool mapped = false;
        for (const auto& e : map_.entries()) {
            mapped =
                mapped || (e.table == table && a >= e.address && a < e.address + e.registers());
        }
        if (!mapped) {
            return Refused{Refusal::illegal_address, std::string(tableName(table)) + " register " +
                                                         std::to_string(a) + " is not mapped"};
        }
    }
    return std::nullopt;
}

// A write covers whole values: each is checked before any is applied.
std::optional<Refused> PlantBoard::write(int client, const Request& request) {
    struct Change {
        const RegisterEntry* entry;
        double value;
    };
    std::vector<Change> changes;
    for (unsigned at = 0; at < request.count;) {
        const RegisterEntry* e =
            map_.at(RegisterTable::holding, static_cast<std::uint16_t>(request.address + at));
        if (!e || at + e->registers() > request.count) {
            return Refused{Refusal::illegal_address,
                           "holding register " + std::to_string(request.address + at) +
                               " does not start a writable value that the write covers whole"};
        }
        changes.push_back({e, decode(request.values.data() + at, e->encoding)});
        at += e->registers();
    }
    std::lock_guard lock(mutex_);
    const double now = clock_();
    for (const auto& change : changes) {
        if (change.entry == map_.advance()) {
            if (pending_advance_ + long(change.value) > max_pending_advance) {
                return Refused{Refusal::illegal_value, "more than 1000000 intervals pending"};
            }
            continue;
        }
        const size_t i = size_t(change.entry - &map_.written(0));
        const InputRule& rule = rules_[i];
        if (!std::isfinite(change.value) || change.value < rule.min || change.value > rule.max) {
            char range[96];
            std::snprintf(range, sizeof range, "%g outside [%g, %g]", change.value, rule.min,
                          rule.max);
            return Refused{Refusal::illegal_value,
                           change.entry->name + ": " +
                               (std::isfinite(change.value) ? std::string(range)
                                                            : std::string("not a finite number"))};
        }
        const Written& w = written_[i];
        if (w.owner != 0 && w.owner != client && heard(w, now)) {
            return Refused{Refusal::device_failure,
                           change.entry->name + " is written by client " + std::to_string(w.owner)};
        }
    }
    for (const auto& change : changes) {
        if (change.entry == map_.advance()) {
            pending_advance_ += long(change.value);
            encode(double(pending_advance_), Encoding::uint16,
                   &holding_image_[change.entry->address]);
            advanced_.notify_all();
            continue;
        }
        Written& w = written_[size_t(change.entry - &map_.written(0))];
        w = {change.value, now, client};
        if (log_) log_({client, "write", change.entry->name, change.value, true, ""});
    }
    return std::nullopt;
}

std::vector<std::uint16_t> PlantBoard::image(RegisterTable table) const {
    std::lock_guard lock(mutex_);
    return table == RegisterTable::input ? input_image_ : holding_image_;
}

void PlantBoard::disconnect(int client) {
    std::lock_guard lock(mutex_);
    for (auto& w : written_) {
        if (w.owner == client) w.owner = 0; // its last value stands until the timeout
    }
}

std::vector<std::optional<double>> PlantBoard::clientInputs() {
    std::lock_guard lock(mutex_);
    const double now = clock_();
    std::vector<std::optional<double>> values;
    for (auto& w : written_) {
        if (!heard(w, now)) w.owner = 0;
        values.push_back(heard(w, now) ? w.value : std::nullopt);
    }
    return values;
}

void PlantBoard::publish(double time, long step, Status status, const std::vector<double>& read,
                         const std::vector<double>& applied) {
    std::lock_guard lock(mutex_);
    auto put = [&](std::vector<std::uint16_t>& image, const RegisterEntry& e, double value) {
        encode(value, e.encoding, &image[e.address]);
    };
    const auto& entries = map_.entries();
    put(input_image_, entries[0], time);
    put(input_image_, entries[1], double(step));
    put(input_image_, entries[2], double(status));
    for (size_t i = 0; i < read.size(); ++i)
        put(input_image_, map_.read(i), read[i]);
    for (size_t i = 0; i < applied.size(); ++i)
        put(holding_image_, map_.written(i), applied[i]);
}

void PlantBoard::setStatus(Status status) {
    std::lock_guard lock(mutex_);
    encode(double(status), Encoding::uint16, &input_image_[map_.entries()[2].address]);
}

bool PlantBoard::takeAdvance(double wait) {
    std::unique_lock lock(mutex_);
    const auto timeout = std::chrono::duration<double>(wait);
    if (!advanced_.wait_for(lock, timeout, [&] { return pending_advance_ > 0; })) return false;
    --pending_advance_;
    if (const RegisterEntry* e = map_.advance()) {
        encode(double(pending_advance_), Encoding::uint16, &holding_image_[e->address]);
    }
    return true;
}

} // namespace tavrel::serve
