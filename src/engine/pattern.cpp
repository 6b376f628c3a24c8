#include "engine/pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#ifndef PCRE2_STATIC
#define PCRE2_STATIC
#endif
#include <pcre2.h>

namespace cw {

namespace {

constexpr uint32_t OUTPUT_PAIRS = 40;  // the classic vector of 120 ints holds 40 pairs

// PCRE2's negative results, mapped to the codes the classic API used.
int classicResultCode(int result) {
    switch (result) {
        case PCRE2_ERROR_NOMATCH:
            return MATCH_NO_MATCH;
        case PCRE2_ERROR_NULL:
            return MATCH_NULL;
        case PCRE2_ERROR_BADOPTION:
            return MATCH_BAD_OPTION;
        case PCRE2_ERROR_BADMAGIC:
            return MATCH_BAD_MAGIC;
        case PCRE2_ERROR_INTERNAL:
            return MATCH_UNKNOWN_NODE;
        case PCRE2_ERROR_NOMEMORY:
            return MATCH_NO_MEMORY;
        case PCRE2_ERROR_MATCHLIMIT:
        case PCRE2_ERROR_DEPTHLIMIT:
        case PCRE2_ERROR_HEAPLIMIT:
            return MATCH_LIMIT;
        default:
            // Keep every other failure below the classic codes, so it is reported
            // as a generic matching error with a code that still identifies it.
            return result < 0 ? -100 + result : result;
    }
}

}  // namespace

void PatternDeleter::operator()(pcre2_real_code_8* code) const {
    pcre2_code_free(code);
}

PatternCompileResult compilePattern(const char* pattern) {
    PatternCompileResult result;
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                                     PCRE2_CASELESS, &errorCode, &errorOffset, nullptr);
    if (code == nullptr) {
        PCRE2_UCHAR message[256];
        int length = pcre2_get_error_message(errorCode, message, sizeof message);
        result.errorOffset = static_cast<int>(errorOffset);
        result.errorText = length > 0 ? reinterpret_cast<const char*>(message) : "unknown error";
        return result;
    }
    result.pattern.reset(code);
    return result;
}

void MatchDataDeleter::operator()(pcre2_match_data* data) const {
    pcre2_match_data_free(data);
}

int matchPattern(const pcre2_real_code_8* pattern, const char* subject, size_t length,
                 MatchBlock& block) {
    if (pattern == nullptr || subject == nullptr) {
        return MATCH_NULL;
    }
    if (!block) {
        block.reset(pcre2_match_data_create(OUTPUT_PAIRS, nullptr));
        if (!block) {
            return MATCH_NO_MEMORY;
        }
    }
    int result = pcre2_match(pattern, reinterpret_cast<PCRE2_SPTR>(subject), length, 0, 0,
                             block.get(), nullptr);
    return classicResultCode(result);
}

}  // namespace cw
