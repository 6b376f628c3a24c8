#include "mail_pieces.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string_view>

namespace differential {

namespace {

// Header names rules are written for, when the sample holds them.
constexpr std::string_view HEADER_NAME_CANDIDATES[] = {
    "Received:",    "Message-Id:",       "X-Mailer:",     "Content-Type:", "List-Id:",
    "Return-Path:", "Delivered-To:",     "X-Priority:",   "Reply-To:",     "Precedence:",
    "Errors-To:",   "List-Unsubscribe:", "Mime-Version:", "Date:"};
constexpr size_t MIN_WORD = 4;
constexpr size_t MAX_WORD = 14;
// How many pieces each pool keeps.
constexpr size_t POOL_SIZE = 80;
// A piece in more than this share of the messages hits nearly everywhere.
constexpr double MOST_MESSAGES = 0.4;

bool isWordByte(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

bool isAddressByte(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
           std::string_view("._%+-").find(c) != std::string_view::npos;
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

void addWords(std::string_view text, std::set<std::string>& words) {
    size_t i = 0;
    while (i < text.size()) {
        size_t start = i;
        while (i < text.size() && isWordByte(text[i])) {
            ++i;
        }
        if (i - start >= MIN_WORD && i - start <= MAX_WORD) {
            words.insert(lowerCase(text.substr(start, i - start)));
        }
        i = std::max(i, start + 1);
    }
}

// Addresses and their domains.
void addAddresses(std::string_view text, std::set<std::string>& pieces) {
    for (size_t at = text.find('@'); at != std::string_view::npos; at = text.find('@', at + 1)) {
        size_t start = at;
        while (start > 0 && isAddressByte(text[start - 1])) {
            --start;
        }
        size_t end = at + 1;
        while (end < text.size() && isAddressByte(text[end])) {
            ++end;
        }
        if (start < at && end > at + 1) {
            pieces.insert(lowerCase(text.substr(start, end - start)));
            pieces.insert(lowerCase(text.substr(at, end - at)));
        }
    }
}

// Counts in how many messages each piece occurs.
struct Pool {
    std::map<std::string, size_t> messageCounts;

    void count(const std::set<std::string>& pieces) {
        for (const std::string& piece : pieces) {
            ++messageCounts[piece];
        }
    }

    std::vector<std::string> chosen(size_t messages) const {
        std::vector<std::pair<size_t, std::string>> ranked;
        for (const auto& [piece, count] : messageCounts) {
            if (count >= 2 && static_cast<double>(count) <= MOST_MESSAGES * messages) {
                ranked.emplace_back(count, piece);
            }
        }
        std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first > b.first : a.second < b.second;
        });
        std::vector<std::string> pieces;
        for (size_t i = 0; i < ranked.size() && i < POOL_SIZE; ++i) {
            pieces.push_back(ranked[i].second);
        }
        return pieces;
    }
};

bool startsWithName(std::string_view line, std::string_view name) {
    return line.size() >= name.size() && lowerCase(line.substr(0, name.size())) == lowerCase(name);
}

}  // namespace

MailPieces gatherMailPieces(const std::vector<cw::scantool::Message>& messages, size_t stride) {
    constexpr size_t NAMES = std::size(HEADER_NAME_CANDIDATES);
    Pool subjects, senders, recipients, anyHeader, body;
    std::vector<Pool> byName(NAMES);
    std::vector<size_t> nameCounts(NAMES, 0);
    size_t sampled = 0;
    for (size_t index = 0; index < messages.size(); index += stride) {
        const cw::scantool::Message& message = messages[index];
        ++sampled;
        std::set<std::string> subject, sender, recipient, header, text;
        std::vector<std::set<std::string>> named(NAMES);
        std::vector<bool> seen(NAMES, false);
        for (const std::string& line : message.headerLines) {
            addWords(line, header);
            if (startsWithName(line, "Subject:")) {
                addWords(std::string_view(line).substr(8), subject);
            } else if (startsWithName(line, "From:") || startsWithName(line, "Reply-To:")) {
                addAddresses(line, sender);
            } else if (startsWithName(line, "To:") || startsWithName(line, "Cc:")) {
                addAddresses(line, recipient);
                addWords(std::string_view(line).substr(3), recipient);
            }
            for (size_t n = 0; n < NAMES; ++n) {
                if (startsWithName(line, HEADER_NAME_CANDIDATES[n])) {
                    seen[n] = true;
                    addWords(std::string_view(line).substr(HEADER_NAME_CANDIDATES[n].size()),
                             named[n]);
                }
            }
        }
        addWords(std::string_view(message.text).substr(message.bodyOffset), text);
        subjects.count(subject);
        senders.count(sender);
        recipients.count(recipient);
        anyHeader.count(header);
        body.count(text);
        for (size_t n = 0; n < NAMES; ++n) {
            byName[n].count(named[n]);
            nameCounts[n] += seen[n] ? 1 : 0;
        }
    }
    MailPieces pieces;
    pieces.subjectWords = subjects.chosen(sampled);
    pieces.senderAddresses = senders.chosen(sampled);
    pieces.recipientWords = recipients.chosen(sampled);
    pieces.anyHeaderWords = anyHeader.chosen(sampled);
    pieces.bodyWords = body.chosen(sampled);
    for (size_t n = 0; n < NAMES; ++n) {
        std::vector<std::string> words = byName[n].chosen(sampled);
        if (nameCounts[n] >= 2 && !words.empty()) {
            pieces.headerNames.emplace_back(HEADER_NAME_CANDIDATES[n]);
            pieces.headerWords.push_back(std::move(words));
        }
    }
    return pieces;
}

}  // namespace differential
