// Modbus TCP requests as a server takes them off one connection: any bytes cut into frames as
// their headers' lengths say (the rest of a stream, when a header lies, is one last frame), each
// decoded and, when it is a request, answered by a lockstep plant board with one read value and
// two limited inputs, from one of three clients that now and then disconnect. A frame must end
// in a request, a refusal with its code or "malformed"; the board must keep its images whole.
#include "modbus_frame.h"
#include "plant_board.h"
#include "register_map.h"

#include <cmath>
#include <cstdlib>

namespace {

using namespace tavrel::serve;

const RegisterMap& map() {
    static const RegisterMap map({{"rig.p", "Pa"}}, {{"rig.u", ""}, {"rig.q", "m3/s"}},
                                 tavrel::sim::ValueFormat::float64, true);
    return map;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    double now = 0;
    PlantBoard board(map(), {{0, 1}, {-1e300, 1e300}}, 1.0, [&] { return now; }, {});
    std::size_t at = 0;
    while (at < size) {
        const std::size_t client = data[at] % 4; // 0: the last client disconnects
        ++at;
        if (client == 0) {
            board.disconnect(int(now) % 3 + 1);
            now += 0.6;
            continue;
        }
        std::size_t length = size - at;
        if (length >= 6)
            length = std::min(length, std::size_t(data[at + 4] << 8 | data[at + 5]) + 6);
        const Decoded decoded = decodeFrame(data + at, length);
        at += length;
        if (const auto* request = std::get_if<Request>(&decoded)) {
            if (request->values.size() > request->count) std::abort();
            board.answer(int(client), *request);
        } else if (const auto* refused = std::get_if<Refused>(&decoded)) {
            if (int(refused->code) < 1 || int(refused->code) > 4) std::abort();
        }
        const auto inputs = board.clientInputs(); // finite and within each input's rule
        if (inputs[0] && !(*inputs[0] >= 0 && *inputs[0] <= 1)) std::abort();
        if (inputs[1] && !std::isfinite(*inputs[1])) std::abort();
        while (board.takeAdvance(0)) {
        }
        if (board.image(RegisterTable::input).size() != map().size(RegisterTable::input))
            std::abort();
    }
    return 0;
}
