// Modbus TCP frames as they come off the wire: the header (transaction, protocol, length, unit)
// and the request it carries, checked before anything acts on it. A frame whose header or
// lengths do not add up cannot be trusted to end where the next begins: its connection is closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace tavrel::serve {

// The exception codes a refused request is answered with.
enum class Refusal : std::uint8_t {
    illegal_function = 1,
    illegal_address = 2,
    illegal_value = 3,
    device_failure = 4, // here: the input has another writer
};

// The functions served.
inline constexpr std::uint8_t read_holding = 3, read_input = 4, write_single = 6,
                              write_multiple = 16;

struct Request {
    std::uint8_t function = 0;
    std::uint16_t address = 0;
    std::uint16_t count = 0;           // registers read or written
    std::vector<std::uint16_t> values; // the registers written
};

struct Refused {
    Refusal code;
    std::string reason;
};

struct Malformed {
    std::string reason;
};

using Decoded = std::variant<Request, Refused, Malformed>;

// One whole frame: a request, a refusal to answer with its code, or a broken frame.
Decoded decodeFrame(const std::uint8_t* frame, std::size_t length);

} // namespace tavrel::serve
