// The records that hosts in this process have handed out and not yet destroyed. A plug-in
// accepts a handshake only for an address found here, so that a made-up handle is refused
// without ever being dereferenced.
#include "mex_host.h"

#include <mutex>
#include <new>
#include <unordered_set>

namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_set<const void*> records;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

} // namespace

extern "C" {

int mexRegisterHostRecord(const void* record) {
    if (!record) return 0;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    try {
        r.records.insert(record);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

void mexUnregisterHostRecord(const void* record) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.records.erase(record);
}

int mexIsHostRecord(const void* record) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.records.count(record) != 0;
}

} // extern "C"
