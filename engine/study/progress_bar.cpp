#include "progress_bar.h"

#include <cstdio>

namespace tavrel::study {

namespace {

std::string duration(double seconds) {
    char text[32];
    const long s = static_cast<long>(seconds + 0.5);
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ldh%02ldm", s / 3600, s / 60 % 60);
    else
        std::snprintf(text, sizeof text, "%ldm%02lds", s / 60, s % 60);
    return text;
}

} // namespace

ProgressBar::ProgressBar(bool on, size_t total, size_t done, std::string unit)
    : on_(on), total_(total), start_done_(done), unit_(std::move(unit)) {}

void ProgressBar::update(size_t done, size_t failed) const {
    if (!on_) return;
    const int width = 30;
    const int filled = total_ ? int(width * done / total_) : width;
    std::string bar(size_t(filled), '#');
    bar.resize(width, '.');
    const size_t ran = done > start_done_ ? done - start_done_ : 0;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const std::string eta = ran ? duration(elapsed / double(ran) * double(total_ - done)) : "?";
    std::fprintf(stderr, "\r  [%s] %zu/%zu %s, %zu failed, ETA %s   ", bar.c_str(), done, total_,
                 unit_.c_str(), failed, eta.c_str());
    std::fflush(stderr);
}

void ProgressBar::show(const std::string& text) const {
    if (!on_) return;
    std::fprintf(stderr, "\r  %s   ", text.c_str());
    std::fflush(stderr);
}

void ProgressBar::close() const {
    if (on_) std::fputc('\n', stderr);
}

} // namespace tavrel::study
