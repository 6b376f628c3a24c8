// Pieces of real mail that generated rules are made of, so that the rules hit:
// words of subjects, header values and bodies, sender and recipient addresses,
// the header names that occur. Gathered from a sample of the training mail in a
// fixed order, so that one corpus always gives the same pieces.
#pragma once

#include <string>
#include <vector>

#include "cobbleweave_scan/message_source.h"

namespace differential {

struct MailPieces {
    std::vector<std::string> subjectWords;
    std::vector<std::string> senderAddresses;           // addresses and their domains
    std::vector<std::string> recipientWords;            // addresses, domains, names
    std::vector<std::string> headerNames;               // "X-Mailer:", ... (those that occur)
    std::vector<std::vector<std::string>> headerWords;  // per header name
    std::vector<std::string> anyHeaderWords;
    std::vector<std::string> bodyWords;
};

// The pieces of every `stride`-th message: in each pool the words found in
// more than one message but not in most, the commonest first.
MailPieces gatherMailPieces(const std::vector<cw::scantool::Message>& messages, size_t stride);

}  // namespace differential
