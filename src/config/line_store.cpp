#include "config/line_store.h"

#include <algorithm>
#include <limits>
#include <new>

namespace cw {

std::string ListRun::line(size_t index) const {
    std::string_view text = entry(index);
    std::string rule;
    rule.reserve(prefix.size() + text.size() + suffix.size());
    rule += prefix;
    rule += text;
    rule += suffix;
    return rule;
}

std::string_view LineStore::line(size_t item) const {
    uint32_t begin = item == 0 ? 0 : ends_[item - 1];
    return std::string_view(text_).substr(begin, ends_[item] - begin);
}

const ListRun* LineStore::run(size_t item) const {
    auto found = std::lower_bound(runItems_.begin(), runItems_.end(), item);
    if (found == runItems_.end() || *found != item) {
        return nullptr;
    }
    return runs_[static_cast<size_t>(found - runItems_.begin())].get();
}

void LineStore::append(std::string_view text, uint8_t origin) {
    // Offsets are 32 bits: more text than that is more than any host can hold.
    if (text.size() > std::numeric_limits<uint32_t>::max() - text_.size()) {
        throw std::bad_alloc();
    }
    size_t textSize = text_.size();
    try {
        text_.append(text);
        ends_.push_back(static_cast<uint32_t>(text_.size()));
        origins_.push_back(origin);
    } catch (const std::bad_alloc&) {
        text_.resize(textSize);
        ends_.resize(origins_.size());
        throw;
    }
    ++lineCount_;
}

ListRun& LineStore::appendRun(uint8_t origin) {
    auto run = std::make_unique<ListRun>();
    size_t items = ends_.size();
    try {
        ends_.push_back(static_cast<uint32_t>(text_.size()));
        origins_.push_back(origin);
        runItems_.push_back(static_cast<uint32_t>(items));
        runs_.push_back(std::move(run));
    } catch (const std::bad_alloc&) {
        ends_.resize(items);
        origins_.resize(items);
        runItems_.resize(runs_.size());
        throw;
    }
    return *runs_.back();
}

void LineStore::addRunEntry(std::string_view entry) {
    ListRun& run = *runs_.back();
    if (entry.size() > std::numeric_limits<uint32_t>::max() - run.entries.size()) {
        throw std::bad_alloc();
    }
    size_t entriesSize = run.entries.size();
    try {
        run.entries.append(entry);
        run.ends.push_back(static_cast<uint32_t>(run.entries.size()));
    } catch (const std::bad_alloc&) {
        run.entries.resize(entriesSize);
        throw;
    }
    ++lineCount_;
}

void LineStore::dropEmptyRun() {
    if (runItems_.empty() || runItems_.back() != ends_.size() - 1 || runs_.back()->size() != 0) {
        return;
    }
    runItems_.pop_back();
    runs_.pop_back();
    ends_.pop_back();
    origins_.pop_back();
}

}  // namespace cw
