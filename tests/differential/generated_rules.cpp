#include "generated_rules.h"

#include <algorithm>
#include <random>
#include <string_view>

namespace differential {

namespace {

// Rules of one kind on one field: at least the literal and prefilter groups'
// smallest size.
constexpr size_t GROUP_RULES = 5;
constexpr size_t LIST_ENTRIES = 8;
constexpr size_t CHAINS = 24;

// Flag sets a rule may carry; most rules carry none, so that groups form.
constexpr std::string_view FLAG_SETS[] = {"-", "~", "+", "%", "=", "!", "+%", "~-", "%=", "+="};
constexpr std::string_view SCORES[] = {"0.5", "1", "1.5", "2.0", "3", "-1.0", "-2.5", "0"};

// Patterns with no literal every match must hold.
constexpr std::string_view FREE_PATTERNS[] = {
    "^\\s*$",    "\\d{4,}",  "[a-z]+\\d{3,}",       "(?-i)[A-Z]{6,}",
    "^.{0,12}$", "(\\w)\\1", "=\\?[^?]+\\?[bq]\\?", "\\bre:",
    "[!?]{2,}",  "\\$\\d+"};

// Lines the reader refuses or warns about, each reported at every scan.
constexpr std::string_view FAULTY_LINES[] = {"Subject: {unclosed",
                                             "40 Subject: \"out of range\"",
                                             "3x Subject: \"no blank\"",
                                             "@+Subject: \"money\"",
                                             "Subject: {a(b} [no compile]",
                                             "Subject:\"nospace\"",
                                             "Body: 1.0",
                                             "-",
                                             "Subject: \"word\" junk",
                                             "Body: {[z-a]} [range]",
                                             "0 Subject: \"zero block\""};

std::string escapedForPattern(std::string_view piece) {
    std::string escaped;
    for (char c : piece) {
        if (std::string_view("\\^$.[]|()?*+{}").find(c) != std::string_view::npos) {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

struct FieldPlan {
    std::string name;
    const std::vector<std::string>* pool;
};

class RuleWriter {
  public:
    explicit RuleWriter(uint32_t seed) : random_(seed) {}

    size_t below(size_t n) { return n == 0 ? 0 : random_() % n; }
    bool chance(size_t percent) { return below(100) < percent; }

    const std::string& pick(const std::vector<std::string>& pool) {
        return pool[below(pool.size())];
    }
    std::string_view score() { return SCORES[below(std::size(SCORES))]; }

    // Mixed case now and then: the rules are caseless.
    std::string spelled(std::string piece) {
        if (!piece.empty() && chance(25)) {
            piece[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(piece[0])));
        }
        return piece;
    }

    std::string requiredLiteralPattern(const std::vector<std::string>& pool) {
        std::string w = escapedForPattern(spelled(pick(pool)));
        std::string v = escapedForPattern(pick(pool));
        switch (below(11)) {
            case 0:
                return "\\b" + w + "\\b";
            case 1:
                return w + "\\s*\\w+";
            case 2:
                return "(?:" + w + "|" + v + ")";
            case 3:
                return w + ".{0,40}" + v;
            case 4:
                return "^.*" + w;
            case 5:
                return "[^a-z]" + w;
            case 6:
                return w + "\\d*";
            case 7:
                return w + "(?:s|es)?\\b";
            case 8:
                return "\\G.*" + w;
            case 9:
                return w + "(*COMMIT)\\W";
            default:
                return w + "[\\s\\S]{0,100}" + v;
        }
    }

    // "[...]" now and then, "[]" (clears the comment lines) rarely.
    std::string comment(const FieldPlan& field, std::string_view piece) {
        size_t roll = below(100);
        if (roll < 5) {
            return " []";
        }
        if (roll < 55) {
            return " [" + field.name + " " + std::string(piece) + "]";
        }
        return "";
    }

    std::string blockNumber() { return chance(12) ? std::to_string(1 + below(3)) + " " : ""; }

    std::string fieldName(const FieldPlan& field) {
        std::string name = field.name;
        if (chance(10)) {
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
        }
        return name;
    }

    std::string rule(std::string_view flags, const FieldPlan& field, std::string_view element,
                     std::string_view piece) {
        return blockNumber() + std::string(flags) + fieldName(field) + " " + std::string(score()) +
               " " + std::string(element) + comment(field, piece);
    }

    std::string stringRule(std::string_view flags, const FieldPlan& field) {
        std::string piece = spelled(pick(*field.pool));
        return rule(flags, field, "\"" + piece + "\"", piece);
    }

    std::string literalPatternRule(std::string_view flags, const FieldPlan& field) {
        std::string piece = spelled(pick(*field.pool));
        return rule(flags, field, "{" + escapedForPattern(piece) + "}", piece);
    }

    std::string patternRule(std::string_view flags, const FieldPlan& field) {
        std::string pattern = chance(80)
                                  ? requiredLiteralPattern(*field.pool)
                                  : std::string(FREE_PATTERNS[below(std::size(FREE_PATTERNS))]);
        return rule(flags, field, "{" + pattern + "}", "pattern");
    }

    // A string and a pattern in one rule: the pattern is compiled folded once
    // the string test has looked at the field.
    std::string stringAndPatternRule(std::string_view flags, const FieldPlan& field) {
        std::string piece = pick(*field.pool);
        std::string upper = piece;
        for (char& c : upper) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return rule(flags, field, "\"" + piece + "\" {" + escapedForPattern(upper) + "}", piece);
    }

    std::string_view flags() { return FLAG_SETS[below(std::size(FLAG_SETS))]; }

    std::string anyRule(std::string_view flagSet, const FieldPlan& field) {
        switch (below(4)) {
            case 0:
                return stringRule(flagSet, field);
            case 1:
                return literalPatternRule(flagSet, field);
            case 2:
                return patternRule(flagSet, field);
            default:
                return stringAndPatternRule(flagSet, field);
        }
    }

    template <typename T>
    void shuffle(std::vector<T>& items) {
        for (size_t i = items.size(); i > 1; --i) {
            std::swap(items[i - 1], items[below(i)]);
        }
    }

  private:
    std::mt19937 random_;
};

const std::vector<std::string> SIZES = {"1500", "3000", "6000", "12000", "40000"};
const std::vector<std::string> USER_NAMES = {"alice", "ALICE", "ali", "bob", "lice"};
const std::vector<std::string> SERVER_NAMES = {"pop.example.org", "example", "POP.", "org",
                                               "mail.example.com"};
// Header: tests; some names are no plain "Name:" and are looked for on every line.
const std::vector<std::string> EXISTS_NAMES = {
    "List-Id:",    "X-Mailer:", "Any-Sender:", "Any-Recipient:", "Subject:",
    "X-Nothing:",  "received:", "X Odd Name:", "Content-",       "Reply-To:",
    "Message-Id:", "Cc:",       "Precedence:", "x-mailer",       "Errors-To:"};

// A list of `count` pieces of the pool, one a line.
std::string listOf(RuleWriter& writer, const std::vector<std::string>& pool, size_t count,
                   bool asPatterns) {
    std::string list;
    for (size_t i = 0; i < count; ++i) {
        std::string piece = writer.spelled(writer.pick(pool));
        if (asPatterns) {
            // Most entries literal (a pattern literal group), some needing a literal.
            piece = i % 3 == 2 ? writer.requiredLiteralPattern(pool) : escapedForPattern(piece);
        }
        list += piece + "\n";
    }
    return list;
}

}  // namespace

RuleFiles generateRules(const MailPieces& pieces, uint32_t seed,
                        const std::vector<std::string>& optionLines) {
    RuleWriter writer(seed);
    std::vector<FieldPlan> lineFields = {
        {"Subject:", &pieces.subjectWords},
        {"From:", &pieces.senderAddresses},
        {"To:", &pieces.recipientWords},
        {"Any-Sender:", &pieces.senderAddresses},
        {"Any-Recipient:", &pieces.recipientWords},
        {"Match:", &pieces.anyHeaderWords},
        {"Received", &pieces.anyHeaderWords},  // no colon: every line that begins so
        {"X-", &pieces.anyHeaderWords},
        {"CompleteHeader:", &pieces.anyHeaderWords},
        {"Body:", &pieces.bodyWords},
        {"HtmlText:", &pieces.bodyWords},
        {"Line:", &pieces.bodyWords},
    };
    for (size_t i = 0; i < pieces.headerNames.size(); ++i) {
        lineFields.push_back({pieces.headerNames[i], &pieces.headerWords[i]});
    }
    const std::vector<FieldPlan> otherFields = {
        {"Header:", &EXISTS_NAMES},
        {"Size:", &SIZES},
        {"Username:", &USER_NAMES},
        {"Servername:", &SERVER_NAMES},
    };

    // Units of lines kept together: a rule, or a chain with the rule it conditions.
    std::vector<std::vector<std::string>> units;
    for (const FieldPlan& field : lineFields) {
        for (size_t i = 0; i < GROUP_RULES; ++i) {
            units.push_back({writer.stringRule("", field)});
            units.push_back({writer.stringRule("~", field)});
            units.push_back({writer.literalPatternRule("", field)});
            units.push_back({writer.patternRule(writer.chance(30) ? writer.flags() : "", field)});
        }
        units.push_back({writer.stringAndPatternRule("", field)});
        for (size_t i = 0; i < 3; ++i) {
            units.push_back({writer.anyRule(writer.flags(), field)});
        }
    }
    for (const FieldPlan& field : otherFields) {
        for (size_t i = 0; i < GROUP_RULES; ++i) {
            units.push_back({writer.stringRule(i == 0 ? "" : writer.flags(), field)});
        }
    }
    std::vector<FieldPlan> allFields = lineFields;
    allFields.insert(allFields.end(), otherFields.begin(), otherFields.end());
    for (size_t i = 0; i < CHAINS; ++i) {
        std::vector<std::string> chain;
        size_t links = 1 + writer.below(2);
        for (size_t link = 0; link < links; ++link) {
            const FieldPlan& field = allFields[writer.below(allFields.size())];
            chain.push_back(writer.anyRule(writer.chance(40) ? "@-" : "@", field));
        }
        const FieldPlan& last = lineFields[writer.below(lineFields.size())];
        chain.push_back(writer.chance(50) ? writer.stringRule("", last)
                                          : writer.anyRule(writer.flags(), last));
        units.push_back(std::move(chain));
    }
    for (std::string_view faulty : FAULTY_LINES) {
        units.push_back({std::string(faulty)});
    }
    units.push_back({"# a comment line between the rules"});
    units.push_back({""});

    RuleFiles files;
    const FieldPlan subjects{"Subject:", &pieces.subjectWords};
    files.push_back({"senders.txt", listOf(writer, pieces.senderAddresses, LIST_ENTRIES, false)});
    files.push_back({"friends.txt", listOf(writer, pieces.senderAddresses, LIST_ENTRIES, false)});
    files.push_back({"subjects.txt", listOf(writer, pieces.subjectWords, LIST_ENTRIES, false)});
    files.push_back(
        {"reg_senders.txt", listOf(writer, pieces.senderAddresses, LIST_ENTRIES, true)});
    files.push_back({"reg_subjects.txt", listOf(writer, pieces.subjectWords, LIST_ENTRIES, true)});
    std::string listedRules;
    for (size_t i = 0; i < 2 * LIST_ENTRIES; ++i) {
        const FieldPlan& field =
            i < LIST_ENTRIES ? subjects : lineFields[writer.below(lineFields.size())];
        listedRules +=
            (i % 4 == 3 ? writer.anyRule(writer.flags(), field) : writer.stringRule("", field)) +
            "\n";
    }
    files.push_back({"rules.txt", listedRules});
    for (std::string_view include :
         {"B_INCLUDE_SENDER 2.5 senders.txt", "B_INCLUDE_SENDER -3.0 friends.txt",
          "B_INCLUDE_SUBJECT 1.5 subjects.txt", "B_INCLUDE_REG_SENDER reg_senders.txt",
          "B_INCLUDE_REG_SUBJECT 2.0 reg_subjects.txt", "B_INCLUDE_LIST rules.txt"}) {
        units.push_back({std::string(include)});
    }
    for (const std::string& option : optionLines) {
        units.push_back({option});
    }
    writer.shuffle(units);

    std::string filters = "# generated rules, seed " + std::to_string(seed) + "\n";
    for (const auto& unit : units) {
        for (const std::string& line : unit) {
            filters += line + "\n";
        }
    }
    files.insert(files.begin(), {"filters.dat", filters});
    return files;
}

}  // namespace differential
