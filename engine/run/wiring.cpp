#include "wiring.h"

#include "names.h"

#include <fnmatch.h>

namespace tavrel::sim {

// Kahn's order; what is left forms a loop.
std::vector<int> feedThroughOrder(const std::vector<std::vector<int>>& reads) {
    const size_t n = reads.size();
    std::vector<std::vector<int>> feeds(n);
    std::vector<int> pending(n, 0);
    for (size_t b = 0; b < n; ++b) {
        for (int from : reads[b]) {
            feeds[static_cast<size_t>(from)].push_back(static_cast<int>(b));
            ++pending[b];
        }
    }
    std::vector<int> ready, order;
    for (size_t b = 0; b < n; ++b) {
        if (pending[b] == 0) ready.push_back(static_cast<int>(b));
    }
    for (size_t next = 0; next < ready.size(); ++next) {
        const int b = ready[next];
        order.push_back(b);
        for (int reader : feeds[static_cast<size_t>(b)]) {
            if (--pending[static_cast<size_t>(reader)] == 0) ready.push_back(reader);
        }
    }
    if (order.size() != n) {
        std::vector<int> in_loop;
        for (size_t b = 0; b < n; ++b) {
            if (pending[b] > 0) in_loop.push_back(static_cast<int>(b));
        }
        throw LoopError(std::move(in_loop));
    }
    return order;
}

std::vector<size_t> selectByPatterns(const std::vector<std::string>& names,
                                     const std::vector<std::string>& patterns) {
    std::vector<bool> used(patterns.size(), false);
    std::vector<size_t> selected;
    for (size_t c = 0; c < names.size(); ++c) {
        bool wanted = patterns.empty();
        for (size_t i = 0; i < patterns.size(); ++i) {
            if (fnmatch(patterns[i].c_str(), names[c].c_str(), 0) == 0) {
                wanted = true;
                used[i] = true;
            }
        }
        if (wanted) selected.push_back(c);
    }
    for (size_t i = 0; i < used.size(); ++i) {
        if (!used[i])
            throw UnmatchedPattern("\"" + patterns[i] + "\" matches no port" +
                                   didYouMean(patterns[i], names));
    }
    return selected;
}

} // namespace tavrel::sim
