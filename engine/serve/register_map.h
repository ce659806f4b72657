// Where a control system finds the plant's values over Modbus: input registers (read only) hold
// the session's clock, its status and the values it reads; holding registers the values it
// writes and, in lockstep, the count of output intervals to advance. Every value spans whole
// 16-bit registers, big-endian, most significant word first.
#pragma once

#include "scenario.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrel::serve {

enum class RegisterTable { input, holding };

// How a value is held in its registers.
enum class Encoding { uint16, uint32, float32, float64 };

struct RegisterEntry {
    std::string name; // "time", "rig.bottom_pressure", ...
    RegisterTable table = RegisterTable::input;
    std::uint16_t address = 0;
    Encoding encoding = Encoding::float32;
    std::string unit;
    std::uint16_t registers() const;
};

// The fixed entries, before the values.
inline constexpr const char* time_register = "time";
inline constexpr const char* step_register = "step";
inline constexpr const char* status_register = "status";
inline constexpr const char* advance_register = "advance";

// What the status register says.
enum class Status : std::uint16_t { running = 0, paused = 1, late = 2, stopped = 3 };

// A value named with its unit, as the map lists it.
struct NamedValue {
    std::string name, unit;
};

class RegisterMap {
  public:
    // `read` and `write` in the order the scenario names them. `advance` is mapped in lockstep
    // only; its holding address stays reserved otherwise, so that a controller's addresses do
    // not depend on the mode.
    RegisterMap(const std::vector<NamedValue>& read, const std::vector<NamedValue>& write,
                sim::ValueFormat format, bool lockstep);

    const std::vector<RegisterEntry>& entries() const { return entries_; }
    // The entries of the read values and the written ones, in their lists' order.
    const RegisterEntry& read(size_t i) const { return entries_[first_read_ + i]; }
    const RegisterEntry& written(size_t i) const { return entries_[first_written_ + i]; }
    size_t readCount() const { return first_written_ - first_read_; }
    size_t writtenCount() const { return entries_.size() - first_written_; }
    const RegisterEntry* advance() const;
    // Registers in each table (the highest mapped address + 1).
    std::uint16_t size(RegisterTable table) const;
    // The entry that starts at `address`, or null.
    const RegisterEntry* at(RegisterTable table, std::uint16_t address) const;

    // The map as register_map.csv holds it, and as the console shows it.
    std::vector<std::vector<std::string>> csvLines() const;
    std::string text() const;

  private:
    std::vector<RegisterEntry> entries_;
    size_t first_read_ = 0, first_written_ = 0;
    std::optional<size_t> advance_;
};

// The registers of a value; a value the encoding cannot hold (a negative count) is clamped.
void encode(double value, Encoding encoding, std::uint16_t* registers);
double decode(const std::uint16_t* registers, Encoding encoding);

const char* tableName(RegisterTable table);
const char* encodingName(Encoding encoding);

} // namespace tavrel::serve
