// A progress line on standard error for long runs, shown only on a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "cobbleweave_scan/host_platform.h"

namespace cw::scantool {

// Shown once a run has taken a second, then at most five times a second.
struct Progress {
    using Clock = std::chrono::steady_clock;
    bool enabled = standardErrorIsTerminal();
    Clock::time_point start = Clock::now();
    Clock::time_point shownAt = start;
    bool shown = false;

    void update(uint32_t messages) {
        Clock::time_point now = Clock::now();
        if (!enabled || now - start < std::chrono::seconds(1) ||
            now - shownAt < std::chrono::milliseconds(200)) {
            return;
        }
        std::fflush(stdout);
        std::fprintf(stderr, "\r%u messages scanned...", messages);
        std::fflush(stderr);
        shownAt = now;
        shown = true;
    }

    // Before anything else is printed, so that it does not run into the line.
    void clear() {
        if (shown) {
            std::fprintf(stderr, "\r%40s\r", "");
            shown = false;
        }
    }
};

}  // namespace cw::scantool
