// FilterOptions: every setting of the plug-in, process-wide and shared by all
// configurations. Only option keyword reading and the resets at the start of a
// load write it; the most recent load wins. Any thread may read it at any time.
#pragma once

#include <atomic>
#include <cstdint>

namespace cw {

// One setting. Host threads read settings without the fetch lock (the trace
// check of every export, requireBodyFiltering, the log writer) while a load on
// another thread resets and writes them under it, so each is an atomic. Relaxed
// order suffices: every setting stands alone, and a scan, which reads them under
// the fetch lock, sees the whole of the last load through the lock itself. A
// relaxed read is a plain load on every target, so the hot path pays nothing.
template <typename T>
class Setting {
    static_assert(std::atomic<T>::is_always_lock_free);

  public:
    constexpr Setting(T value) noexcept : value_(value) {}
    Setting(const Setting& other) noexcept : value_(other.get()) {}
    Setting& operator=(const Setting& other) noexcept {
        set(other.get());
        return *this;
    }
    Setting& operator=(T value) noexcept {
        set(value);
        return *this;
    }
    operator T() const noexcept { return get(); }

    T get() const noexcept { return value_.load(std::memory_order_relaxed); }
    void set(T value) noexcept { value_.store(value, std::memory_order_relaxed); }

    // Read, change, write: for the one writer, which holds the fetch lock.
    Setting& operator|=(T bits) noexcept { return *this = get() | bits; }
    Setting& operator&=(T bits) noexcept { return *this = get() & bits; }

  private:
    std::atomic<T> value_;
};

inline constexpr int32_t TRACE_QUIET = 0;
inline constexpr int32_t TRACE_CHECK = 1;
inline constexpr int32_t TRACE_DEBUG = 2;

struct FilterOptions {
    Setting<int32_t> traceLevel = TRACE_QUIET;
    Setting<bool> profile = false;
    Setting<bool> checkPreview = false;
    Setting<bool> simulate = false;
    Setting<bool> addScore = false;
    Setting<bool> showValue = false;
    Setting<bool> comment = true;
    Setting<bool> fastScan = false;
    Setting<bool> whitelist = true;  // off means NOWHITELIST
    Setting<bool> keepLogFile = false;
    Setting<bool> precompile = false;
    Setting<bool> textOnly = false;
    Setting<int32_t> maxLogSize = 100000;
    Setting<uint32_t> blockMask = 0;
    Setting<bool> useBlock = false;
    Setting<double> thresholdSpam = 0.0;
    Setting<double> thresholdSuspect = -1.0;
    Setting<double> thresholdWhitelisted = 99999.0;
    Setting<int32_t> maxComment = 256;
    Setting<int32_t> maxLines = 0;
    Setting<int32_t> maxSize = 65536;
};

extern FilterOptions filterOptions;

// The three settings every load resets before it reads a line.
void resetOptionsForLoad();

}  // namespace cw
