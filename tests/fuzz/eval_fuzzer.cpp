// `tavrel eval` requests end to end: JSON text through the request reader into the real
// plug-ins and back. A bad request must end in the host's error, which names what is wrong;
// any other exception is a finding.
#include "eval_json.h"
#include "fuzz_record.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel::host;
    static const bool silenced =
        (tavrel::fuzz::silenceConsole(), tavrel::fuzz::keepPluginsLoaded(), true);
    (void)silenced;
    const Json request = Json::parse(reinterpret_cast<const char*>(data),
                                     reinterpret_cast<const char*>(data) + size, nullptr, false);
    // A plug-in named by path would load whatever library the input names: blocks by name only.
    if (request.is_discarded() || (request.is_object() && request.contains("plugin"))) return 0;
    try {
        formatJson(evaluateJson(request));
    } catch (const HostError&) {
    }
    return 0;
}
