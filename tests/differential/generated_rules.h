// A rule set written from a seed and pieces of real mail, to test the scan's
// shortcuts on everything a rule file can say: every field (Subject:, From:,
// To:, other header names with and without a colon, Any-Sender:,
// Any-Recipient:, Match:, Header:, CompleteHeader:, Body:, HtmlText:, Line:,
// Size:, Username:, Servername:), every flag (! % + - = @ ~), chains, negation,
// comments and comment clearing, block numbers, lines the reader refuses, and
// every include kind with enough entries for the shortcuts to group them.
// Plain strings, literal patterns and patterns that need a literal come at
// least four to a field, so that each field forms literal and prefilter groups.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "mail_pieces.h"

namespace differential {

// The files of a configuration folder: name and content.
using RuleFiles = std::vector<std::pair<std::string, std::string>>;

// filters.dat and its lists. Each of `optionLines` is put at a place of its
// own among the rules.
RuleFiles generateRules(const MailPieces& pieces, uint32_t seed,
                        const std::vector<std::string>& optionLines);

}  // namespace differential
