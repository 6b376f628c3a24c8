#include "engine/rule_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "common/text_ops.h"

namespace cw {
namespace {

std::string upperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

TEST(RuleFields, EveryRowsNameReadsBackAsItsKindInAnyCase) {
    for (const RuleField& field : ruleFields()) {
        if (field.name.empty()) {
            continue;
        }
        std::string lower(field.name);
        lowerCaseInPlace(lower);
        for (const std::string& name : {std::string(field.name), lower, upperCase(field.name)}) {
            EXPECT_EQ(field.kind, fieldKindOf(name)) << name;
            EXPECT_EQ(&field, &ruleFieldNamed(name)) << name;
        }
        EXPECT_EQ(&field, &ruleFieldOf(field.kind)) << field.name;
    }
}

TEST(RuleFields, AnyOtherNameIsAHeaderUpToANul) {
    const struct {
        std::string_view name;
        FieldKind kind;
    } cases[] = {
        {"Subject:", FieldKind::HEADER},
        {"Body", FieldKind::HEADER},
        {"Body:x", FieldKind::HEADER},
        {"XBody:", FieldKind::HEADER},
        {"", FieldKind::HEADER},
        {std::string_view("Body:\0x", 7), FieldKind::BODY},
        {std::string_view("Bo\0dy:", 6), FieldKind::HEADER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.kind, fieldKindOf(c.name)) << c.name;
    }
}

}  // namespace
}  // namespace cw
