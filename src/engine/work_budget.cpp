#include "engine/work_budget.h"

#include <algorithm>

#include "platform/platform.h"

namespace cw {

namespace {

uint64_t microsecondsOf(std::chrono::steady_clock::duration duration) {
    auto count = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
    return count > 0 ? static_cast<uint64_t>(count) : 0;
}

}  // namespace

WorkDeadline deadlineAfter(std::chrono::microseconds budget) {
    WorkDeadline deadline;
    deadline.readAt = std::chrono::steady_clock::now();
    deadline.processorRead = platform::threadProcessorMicroseconds();
    deadline.processorLimit = deadline.processorRead + static_cast<uint64_t>(budget.count());
    deadline.lookAfter = deadline.readAt + budget;
    return deadline;
}

WorkDeadline innerDeadline(const WorkDeadline& outer, std::chrono::microseconds budget) {
    if (outer.lookAfter == WorkDeadline::SteadyTime::max()) {
        return deadlineAfter(budget);  // nothing to start from but a reading
    }
    WorkDeadline deadline = outer;
    auto now = std::chrono::steady_clock::now();
    uint64_t usedAtMost = outer.processorRead + microsecondsOf(now - outer.readAt);
    deadline.processorLimit =
        std::min(outer.processorLimit, usedAtMost + static_cast<uint64_t>(budget.count()));
    deadline.lookAfter = std::min(outer.lookAfter, now + budget);
    return deadline;
}

void takeReading(WorkDeadline& outer, const WorkDeadline& inner) {
    if (outer.lookAfter == WorkDeadline::SteadyTime::max() || inner.readAt <= outer.readAt) {
        return;
    }
    outer.readAt = inner.readAt;
    outer.processorRead = inner.processorRead;
    uint64_t left =
        outer.processorLimit > outer.processorRead ? outer.processorLimit - outer.processorRead : 0;
    outer.lookAfter = outer.readAt + std::chrono::microseconds(left);
}

bool deadlinePassed(WorkDeadline& deadline) {
    if (deadline.lookAfter == WorkDeadline::SteadyTime::max()) {
        return false;
    }
    auto now = std::chrono::steady_clock::now();
    if (now < deadline.lookAfter) {
        return false;
    }
    deadline.readAt = now;
    deadline.processorRead = platform::threadProcessorMicroseconds();
    if (deadline.processorRead >= deadline.processorLimit) {
        return true;
    }
    deadline.lookAfter =
        now + std::chrono::microseconds(deadline.processorLimit - deadline.processorRead);
    return false;
}

}  // namespace cw
