#include "modbus_frame.h"

namespace tavrel::serve {

namespace {

constexpr std::size_t header_size = 7; // transaction, protocol, length, unit
constexpr std::uint16_t max_read = 125, max_write = 123;

std::uint16_t word(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

// The function and its data after the unit identifier.
struct Pdu {
    const std::uint8_t* data;
    std::size_t size;
};

Decoded readRegisters(const Pdu& pdu) {
    if (pdu.size != 5) return Malformed{"a read request must have 5 bytes after the unit"};
    Request request{pdu.data[0], word(pdu.data + 1), word(pdu.data + 3), {}};
    if (request.count < 1 || request.count > max_read) {
        return Refused{Refusal::illegal_value, "a read takes 1 to 125 registers"};
    }
    return request;
}

Decoded writeSingle(const Pdu& pdu) {
    if (pdu.size != 5) return Malformed{"a single write must have 5 bytes after the unit"};
    return Request{pdu.data[0], word(pdu.data + 1), 1, {word(pdu.data + 3)}};
}

Decoded writeMultiple(const Pdu& pdu) {
    if (pdu.size < 6) return Malformed{"a multiple write needs its address, count and bytes"};
    const std::size_t bytes = pdu.data[5];
    if (pdu.size != 6 + bytes) return Malformed{"the byte count does not match the frame"};
    Request request{pdu.data[0], word(pdu.data + 1), word(pdu.data + 3), {}};
    if (request.count < 1 || request.count > max_write || bytes != 2u * request.count) {
        return Refused{Refusal::illegal_value, "a write takes 1 to 123 registers, two bytes each"};
    }
    for (std::size_t i = 0; i < request.count; ++i)
        request.values.push_back(word(pdu.data + 6 + 2 * i));
    return request;
}

struct FunctionSyntax {
    std::uint8_t function;
    Decoded (*decode)(const Pdu&);
};
constexpr FunctionSyntax functions[] = {{read_holding, &readRegisters},
                                        {read_input, &readRegisters},
                                        {write_single, &writeSingle},
                                        {write_multiple, &writeMultiple}};

} // namespace

Decoded decodeFrame(const std::uint8_t* frame, std::size_t length) {
    if (length < header_size + 1) return Malformed{"shorter than a header and a function"};
    if (word(frame + 2) != 0) return Malformed{"protocol identifier is not 0"};
    if (word(frame + 4) != length - 6) return Malformed{"header length does not match the frame"};
    const Pdu pdu{frame + header_size, length - header_size};
    for (const auto& syntax : functions) {
        if (syntax.function == pdu.data[0]) return syntax.decode(pdu);
    }
    return Refused{Refusal::illegal_function, "function " + std::to_string(pdu.data[0]) +
                                                  " is not served (3, 4, 6 and 16 are)"};
}

} // namespace tavrel::serve
