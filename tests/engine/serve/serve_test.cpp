#include "modbus_frame.h"
#include "plant_board.h"
#include "register_map.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

using namespace tavrel::serve;

namespace {

// A frame: header (transaction 1, protocol 0, the length, unit 1), then the PDU bytes.
std::vector<std::uint8_t> frame(std::vector<std::uint8_t> pdu, int length_fix = 0) {
    const int length = int(pdu.size()) + 1 + length_fix;
    std::vector<std::uint8_t> bytes(7 + pdu.size());
    const std::uint8_t header[] = {0, 1, 0, 0, std::uint8_t(length >> 8), std::uint8_t(length), 1};
    std::copy(std::begin(header), std::end(header), bytes.begin());
    std::copy(pdu.begin(), pdu.end(), bytes.begin() + 7);
    return bytes;
}

// "request", "malformed" or the refusal's code.
std::string outcome(const std::vector<std::uint8_t>& bytes) {
    const Decoded d = decodeFrame(bytes.data(), bytes.size());
    if (std::holds_alternative<Request>(d)) return "request";
    if (std::holds_alternative<Malformed>(d)) return "malformed";
    return std::to_string(int(std::get<Refused>(d).code));
}

TEST(ModbusFrame, DecodesTheServedFunctionsAndRefusesTheRest) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::string expected;
    } cases[] = {
        {"read input", frame({4, 0, 0, 0, 7}), "request"},
        {"read holding", frame({3, 0, 1, 0, 2}), "request"},
        {"write single", frame({6, 0, 0, 0, 5}), "request"},
        {"write multiple", frame({16, 0, 1, 0, 2, 4, 1, 2, 3, 4}), "request"},
        {"read of 126 registers", frame({4, 0, 0, 0, 126}), "3"},
        {"read of none", frame({4, 0, 0, 0, 0}), "3"},
        {"byte count not twice the count", frame({16, 0, 1, 0, 2, 2, 1, 2}), "3"},
        {"coils", frame({1, 0, 0, 0, 1}), "1"},
        {"header only", {0, 1, 0, 0, 0, 1, 1}, "malformed"},
        {"protocol 1", {0, 1, 0, 1, 0, 6, 1, 4, 0, 0, 0, 1}, "malformed"},
        {"length says more", frame({4, 0, 0, 0, 1}, 3), "malformed"},
        {"read cut short", frame({4, 0, 0, 0}), "malformed"},
        {"byte count past the end", frame({16, 0, 1, 0, 2, 8, 1, 2, 3, 4}), "malformed"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(outcome(c.bytes), c.expected) << c.what;
}

TEST(RegisterMap, LaysOutFixedRegistersThenValuesAndRoundTripsThem) {
    const RegisterMap map({{"rig.p", "Pa"}, {"rig.q", "m3/s"}}, {{"rig.u", ""}},
                          tavrel::sim::ValueFormat::float32, true);
    const auto lines = map.csvLines();
    ASSERT_EQ(lines.size(), 1u + 3 + 2 + 2);
    EXPECT_EQ(lines[0], (std::vector<std::string>{"name", "table", "address", "registers", "format",
                                                  "unit"}));
    EXPECT_EQ(lines[4], (std::vector<std::string>{"rig.p", "input", "7", "2", "float32", "Pa"}));
    EXPECT_EQ(lines[6], (std::vector<std::string>{"advance", "holding", "0", "1", "uint16", ""}));
    EXPECT_EQ(lines[7], (std::vector<std::string>{"rig.u", "holding", "1", "2", "float32", ""}));
    for (Encoding e : {Encoding::uint16, Encoding::uint32, Encoding::float32, Encoding::float64}) {
        std::uint16_t registers[4] = {};
        encode(1234.5, e, registers);
        const double back = decode(registers, e);
        EXPECT_EQ(back, e == Encoding::uint16 || e == Encoding::uint32 ? 1234 : 1234.5);
    }
    std::uint16_t words[4] = {};
    encode(1.0, Encoding::float64, words); // most significant word first
    EXPECT_EQ(words[0], 0x3ff0);
}

// A board over one read value and one written input limited to [0, 1], with its own clock.
struct BoardFixture : ::testing::Test {
    RegisterMap map{{{"rig.p", "Pa"}}, {{"rig.u", ""}}, tavrel::sim::ValueFormat::float32, false};
    double now = 0;
    PlantBoard board{map, {{0.0, 1.0}}, 2.0, [this] { return now; }, {}};

    static Request write(float value, std::uint16_t address = 1) {
        const auto bits = std::bit_cast<std::uint32_t>(value);
        return {write_multiple, address, 2, {std::uint16_t(bits >> 16), std::uint16_t(bits)}};
    }
    // 0: applied; else the refusal's code.
    int answer(int client, const Request& r) {
        const auto refused = board.answer(client, r);
        return refused ? int(refused->code) : 0;
    }
};

TEST_F(BoardFixture, RefusesWhatTheMapAndTheRulesDoNotAllow) {
    struct Case {
        const char* what;
        Request request;
        int code;
    } cases[] = {
        {"a value inside the rule", write(0.5f), 0},
        {"not a number", write(std::nanf("")), 3},
        {"infinity", write(INFINITY), 3},
        {"beyond the rule", write(1.5f), 3},
        {"half a value", {write_single, 1, 1, {0}}, 2},
        {"advance outside lockstep", {write_single, 0, 1, {1}}, 2},
        {"past the map", write(0.5f, 3), 2},
        {"read past the values", {read_input, 7, 3, {}}, 2},
        {"read of the clock and the value", {read_input, 0, 9, {}}, 0},
        {"read of the reserved holding register", {read_holding, 0, 3, {}}, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(answer(1, c.request), c.code) << c.what;
    EXPECT_EQ(board.clientInputs()[0], 0.5) << "only the valid write was applied";
}

TEST_F(BoardFixture, OneWriterPerInputUntilItIsGoneOrSilent) {
    EXPECT_EQ(answer(1, write(0.25f)), 0);
    EXPECT_EQ(answer(2, write(0.75f)), 4);
    board.disconnect(1);
    EXPECT_EQ(answer(2, write(0.75f)), 0);
    now = 2.5; // client 2 silent beyond the timeout: the input falls back, and is free
    EXPECT_FALSE(board.clientInputs()[0]);
    EXPECT_EQ(answer(3, write(0.5f)), 0);
    EXPECT_EQ(board.clientInputs()[0], 0.5);
}

} // namespace
