#include "register_map.h"

#include <bit>
#include <cmath>
#include <cstdio>

namespace tavrel::serve {

namespace {

struct EncodingInfo {
    Encoding encoding;
    const char* name;
    std::uint16_t registers;
};
constexpr EncodingInfo encodings[] = {{Encoding::uint16, "uint16", 1},
                                      {Encoding::uint32, "uint32", 2},
                                      {Encoding::float32, "float32", 2},
                                      {Encoding::float64, "float64", 4}};

const EncodingInfo& infoOf(Encoding encoding) {
    for (const auto& info : encodings) {
        if (info.encoding == encoding) return info;
    }
    return encodings[0];
}

// Reserved for `advance` in every mode.
constexpr std::uint16_t first_written_address = 1;

} // namespace

std::uint16_t RegisterEntry::registers() const { return infoOf(encoding).registers; }
const char* encodingName(Encoding encoding) { return infoOf(encoding).name; }
const char* tableName(RegisterTable table) {
    return table == RegisterTable::input ? "input" : "holding";
}

RegisterMap::RegisterMap(const std::vector<NamedValue>& read, const std::vector<NamedValue>& write,
                         sim::ValueFormat format, bool lockstep) {
    const Encoding value =
        format == sim::ValueFormat::float64 ? Encoding::float64 : Encoding::float32;
    std::uint16_t next = 0;
    auto add = [&](const std::string& name, RegisterTable table, Encoding encoding,
                   const std::string& unit) {
        entries_.push_back({name, table, next, encoding, unit});
        next = static_cast<std::uint16_t>(next + entries_.back().registers());
    };
    add(time_register, RegisterTable::input, Encoding::float64, "s");
    add(step_register, RegisterTable::input, Encoding::uint32, "");
    add(status_register, RegisterTable::input, Encoding::uint16, "");
    first_read_ = entries_.size();
    for (const auto& v : read)
        add(v.name, RegisterTable::input, value, v.unit);
    next = 0;
    if (lockstep) {
        advance_ = entries_.size();
        add(advance_register, RegisterTable::holding, Encoding::uint16, "");
    }
    next = first_written_address;
    first_written_ = entries_.size();
    for (const auto& v : write)
        add(v.name, RegisterTable::holding, value, v.unit);
}

const RegisterEntry* RegisterMap::advance() const {
    return advance_ ? &entries_[*advance_] : nullptr;
}

std::uint16_t RegisterMap::size(RegisterTable table) const {
    std::uint16_t size = 0;
    for (const auto& e : entries_) {
        if (e.table == table) size = std::max<std::uint16_t>(size, e.address + e.registers());
    }
    return size;
}

const RegisterEntry* RegisterMap::at(RegisterTable table, std::uint16_t address) const {
    for (const auto& e : entries_) {
        if (e.table == table && e.address == address) return &e;
    }
    return nullptr;
}

std::vector<std::vector<std::string>> RegisterMap::csvLines() const {
    std::vector<std::vector<std::string>> lines = {
        {"name", "table", "address", "registers", "format", "unit"}};
    for (const auto& e : entries_) {
        lines.push_back({e.name, tableName(e.table), std::to_string(e.address),
                         std::to_string(e.registers()), encodingName(e.encoding), e.unit});
    }
    return lines;
}

std::string RegisterMap::text() const {
    std::string text = "  table    address  regs  format   name [unit]\n";
    for (const auto& e : entries_) {
        char line[96];
        std::snprintf(line, sizeof line, "  %-8s %7u  %4u  %-7s  ", tableName(e.table),
                      unsigned(e.address), unsigned(e.registers()), encodingName(e.encoding));
        text += line + e.name + (e.unit.empty() ? "" : " [" + e.unit + "]") + "\n";
    }
    return text;
}

void encode(double value, Encoding encoding, std::uint16_t* registers) {
    std::uint64_t bits = 0;
    switch (encoding) {
    case Encoding::uint16:
        registers[0] =
            static_cast<std::uint16_t>(std::isnan(value) ? 0 : std::clamp(value, 0.0, 65535.0));
        return;
    case Encoding::uint32:
        bits = static_cast<std::uint32_t>(std::isnan(value) ? 0
                                                            : std::clamp(value, 0.0, 4294967295.0));
        break;
    case Encoding::float32: bits = std::bit_cast<std::uint32_t>(static_cast<float>(value)); break;
    case Encoding::float64: bits = std::bit_cast<std::uint64_t>(value); break;
    }
    const int count = infoOf(encoding).registers;
    for (int i = 0; i < count; ++i)
        registers[i] = static_cast<std::uint16_t>(bits >> (16 * (count - 1 - i)));
}

double decode(const std::uint16_t* registers, Encoding encoding) {
    const int count = infoOf(encoding).registers;
    std::uint64_t bits = 0;
    for (int i = 0; i < count; ++i)
        bits = bits << 16 | registers[i];
    switch (encoding) {
    case Encoding::uint16:
    case Encoding::uint32: return static_cast<double>(bits);
    case Encoding::float32: return std::bit_cast<float>(static_cast<std::uint32_t>(bits));
    case Encoding::float64: break;
    }
    return std::bit_cast<double>(bits);
}

} // namespace tavrel::serve
