#include "engine/pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#ifndef PCRE2_STATIC
#define PCRE2_STATIC
#endif
#include <pcre2.h>

namespace cw {

namespace {

constexpr uint32_t OUTPUT_PAIRS = 40;  // the classic vector of 120 ints holds 40 pairs

// The JIT counts its steps otherwise than the interpreter: on runaway patterns
// the interpreter counts 0.8 to 3 times what the JIT counts (on the training mail
// at most 502 JIT steps). The JIT therefore gets a quarter of the limit, so that
// a match it finishes is one the interpreter finishes too, and a match that
// reaches it is decided by the interpreter with its own limit: both stop at the
// same patterns, with the same result.
constexpr uint32_t JIT_MATCH_STEP_LIMIT = MATCH_STEP_LIMIT / 4;

// How deep the interpreter may nest its backtracking points, and the memory its
// frames may take (KiB). Ordinary rules on the training mail nest at most 32
// deep in 1 KiB; a repeat over a whole 128 KB body nests once per byte, in
// about 20 MB, and must still finish.
constexpr uint32_t MATCH_DEPTH_LIMIT = 1000000;
constexpr uint32_t MATCH_HEAP_LIMIT_KIB = 64 * 1024;

// The JIT's own stack for backtracking: grown on demand up to the maximum,
// enough for deeply nested repeats over a whole 128 KB body. A match that needs
// more is handed to the interpreter, which keeps its frames on the heap.
constexpr size_t JIT_STACK_START = 64 * 1024;
constexpr size_t JIT_STACK_MAX = 4 * 1024 * 1024;

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

bool prepareArea(MatchArea& area) {
    if (area.data == nullptr) {
        area.data = pcre2_match_data_create(OUTPUT_PAIRS, nullptr);
    }
    if (area.context == nullptr) {
        area.context = pcre2_match_context_create(nullptr);
        if (area.context != nullptr) {
            pcre2_set_depth_limit(area.context, MATCH_DEPTH_LIMIT);
            pcre2_set_heap_limit(area.context, MATCH_HEAP_LIMIT_KIB);
        }
    }
    return area.data != nullptr && area.context != nullptr;
}

bool usesJit(const pcre2_code* pattern) {
    size_t jitSize = 0;
    return pcre2_pattern_info(pattern, PCRE2_INFO_JITSIZE, &jitSize) == 0 && jitSize > 0;
}

}  // namespace

void PatternDeleter::operator()(pcre2_real_code_8* code) const {
    pcre2_code_free(code);
}

PatternCompileResult compilePattern(std::string_view pattern, bool useJit) {
    PatternCompileResult result;
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     PCRE2_CASELESS, &errorCode, &errorOffset, nullptr);
    if (code == nullptr) {
        PCRE2_UCHAR message[256];
        int length = pcre2_get_error_message(errorCode, message, sizeof message);
        result.errorOffset = static_cast<int>(errorOffset);
        result.errorText = length > 0 ? reinterpret_cast<const char*>(message) : "unknown error";
        return result;
    }
    // Without JIT support, or when it fails (no executable memory), the pattern
    // stays interpreted.
    result.jit = useJit && pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
    result.pattern.reset(code);
    return result;
}

MatchArea::MatchArea() = default;

MatchArea::~MatchArea() {
    pcre2_jit_stack_free(jitStack);
    pcre2_match_context_free(context);
    pcre2_match_data_free(data);
}

int matchPattern(const pcre2_real_code_8* pattern, const char* subject, size_t length,
                 MatchArea& area, size_t from) {
    if (pattern == nullptr || subject == nullptr) {
        return MATCH_NULL;
    }
    if (!prepareArea(area)) {
        return MATCH_NO_MEMORY;
    }
    PCRE2_SPTR text = reinterpret_cast<PCRE2_SPTR>(subject);
    if (usesJit(pattern)) {
        if (area.jitStack == nullptr) {
            area.jitStack = pcre2_jit_stack_create(JIT_STACK_START, JIT_STACK_MAX, nullptr);
            pcre2_jit_stack_assign(area.context, nullptr, area.jitStack);
        }
        pcre2_set_match_limit(area.context, JIT_MATCH_STEP_LIMIT);
        int result = pcre2_match(pattern, text, length, from, 0, area.data, area.context);
        if (result != PCRE2_ERROR_MATCHLIMIT && result != PCRE2_ERROR_JIT_STACKLIMIT) {
            return classicResultCode(result);
        }
    }
    pcre2_set_match_limit(area.context, MATCH_STEP_LIMIT);
    return classicResultCode(
        pcre2_match(pattern, text, length, from, PCRE2_NO_JIT, area.data, area.context));
}

}  // namespace cw
