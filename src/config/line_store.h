// The stored lines of a configuration, side by side in one block of text with
// the offsets that end them and an origin code per line, instead of a string
// per line: a configuration may hold a million lines, and a 32-bit host keeps
// two configurations at once during a reload.
//
// An include list's entries that all make one shape of rule are kept as one
// item, a ListRun: the rule's text around the entry, once, and the entries in a
// block of their own. Such an item stands for as many lines as it has entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cw {

// Rules that differ in one element only: entry i reads back as the line
// prefix + entry(i) + suffix.
struct ListRun {
    std::string prefix;  // `Any-Sender: 2.5 "`
    std::string suffix;  // `" [BL]`
    std::string entries;
    std::vector<uint32_t> ends;  // one past each entry in `entries`

    size_t size() const { return ends.size(); }
    std::string_view entry(size_t index) const {
        uint32_t begin = index == 0 ? 0 : ends[index - 1];
        return std::string_view(entries).substr(begin, ends[index] - begin);
    }
    // The rule line of an entry, byte for byte the line it stands for.
    std::string line(size_t index) const;
};

class LineStore {
  public:
    // Items: ordinary lines and list runs, in order.
    size_t size() const { return ends_.size(); }
    // The line count the items stand for (a run counts its entries).
    size_t lineCount() const { return lineCount_; }
    // The text of an ordinary line; empty for a run.
    std::string_view line(size_t item) const;
    uint8_t origin(size_t item) const { return origins_[item]; }
    // The item's run, or null for an ordinary line.
    const ListRun* run(size_t item) const;

    // Appends an ordinary line. May throw std::bad_alloc, leaving the store as it was.
    void append(std::string_view text, uint8_t origin);
    // Appends an empty run item; its entries are added with addRunEntry.
    ListRun& appendRun(uint8_t origin);
    // Adds an entry to the last item, a run. May throw std::bad_alloc, leaving
    // the run as it was.
    void addRunEntry(std::string_view entry);
    // Drops the last item when it is a run without entries.
    void dropEmptyRun();

  private:
    std::string text_;
    std::vector<uint32_t> ends_;  // one past each item's text in text_
    std::vector<uint8_t> origins_;
    std::vector<uint32_t> runItems_;  // the items that are runs, ascending
    std::vector<std::unique_ptr<ListRun>> runs_;
    size_t lineCount_ = 0;
};

}  // namespace cw
