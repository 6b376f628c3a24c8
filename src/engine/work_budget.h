// How much processor time a piece of the scan may still spend: a message's
// scan, one rule in it, one match. The time is the thread's processor time
// (a busy machine does not spend a budget), but reading it is a system call of
// about a microsecond, while a budget is looked at before every match and
// between the windows of a long one. So the steady clock (cheap to read, and
// never behind the processor time of one thread) says when the processor time
// may have run out, and only then is the processor time read.
#pragma once

#include <chrono>
#include <cstdint>

namespace cw {

struct WorkDeadline {
    using SteadyTime = std::chrono::steady_clock::time_point;

    // The thread's processor time (microseconds) at which the work stops.
    uint64_t processorLimit = UINT64_MAX;
    // Before this steady time the processor limit cannot have been reached.
    SteadyTime lookAfter = SteadyTime::max();
    // The last reading of the processor time, and when it was made.
    uint64_t processorRead = 0;
    SteadyTime readAt{};
};

// A deadline `budget` of processor time from now (reads the processor time).
WorkDeadline deadlineAfter(std::chrono::microseconds budget);

// A deadline `budget` from now that also keeps `outer`, without reading the
// processor time: the time used so far is taken at most what the steady clock
// has seen since `outer` was last read, so the inner budget is never cut short.
WorkDeadline innerDeadline(const WorkDeadline& outer, std::chrono::microseconds budget);

// Keeps in `outer` the newer reading `inner` made, so that the next inner
// deadline starts from it.
void takeReading(WorkDeadline& outer, const WorkDeadline& inner);

// Whether the processor time has reached the deadline. Cheap until the steady
// clock says it may have.
bool deadlinePassed(WorkDeadline& deadline);

}  // namespace cw
