#include "engine/pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#ifndef PCRE2_STATIC
#define PCRE2_STATIC
#endif
#include <pcre2.h>

#include <algorithm>
#include <utility>

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

// The windows of starting positions (see matchPattern) and the step limit of
// each position in one: 8 to 9 times what any rule needs on the training mail
// (502 JIT steps, 1,758 interpreter steps), and windows small enough that a
// whole one, every position just below that limit, costs well under 0.1 s
// (measured: about 0.04 s with the JIT, 0.08 s interpreted).
constexpr uint32_t JIT_WINDOW_STEP_LIMIT = 4096;
constexpr uint32_t INTERPRETER_WINDOW_STEP_LIMIT = 16384;
constexpr size_t JIT_WINDOW_POSITIONS = 4096;
constexpr size_t INTERPRETER_WINDOW_POSITIONS = 256;

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

// A backtracking verb ((*COMMIT), (*SKIP), ...) can end a whole match at one
// position, and \G matches where the search began: such patterns give another
// result when their positions are tried window by window. Read from the text,
// so an escaped parenthesis or backslash before the G only costs the windows.
bool dependsOnSearchStart(std::string_view pattern) {
    return pattern.find("(*") != std::string_view::npos ||
           pattern.find("\\G") != std::string_view::npos;
}

// Patterns compiled for windows carry the compile option that lets a match
// bound its starting positions.
bool matchesInWindows(const pcre2_code* pattern) {
    uint32_t compileOptions = 0;
    uint32_t allOptions = 0;
    pcre2_pattern_info(pattern, PCRE2_INFO_ARGOPTIONS, &compileOptions);
    pcre2_pattern_info(pattern, PCRE2_INFO_ALLOPTIONS, &allOptions);
    return (compileOptions & PCRE2_USE_OFFSET_LIMIT) != 0 && (allOptions & PCRE2_ANCHORED) == 0;
}

// One call of PCRE2 over the starting positions from `from` to `last`
// (PCRE2_UNSET: to the end) with the given step limit and options.
int matchOnce(const pcre2_code* pattern, PCRE2_SPTR text, size_t length, size_t from, size_t last,
              uint32_t stepLimit, uint32_t options, MatchArea& area) {
    pcre2_set_match_limit(area.context, stepLimit);
    pcre2_set_offset_limit(area.context, last);
    return pcre2_match(pattern, text, length, from, options, area.data, area.context);
}

// The positions from `from` to `last` as a plain match tries them: by the JIT
// with its quarter of the limit, and where that is not enough by the
// interpreter with the full limit (a PCRE2 result code).
int matchWithFullLimits(const pcre2_code* pattern, bool jit, PCRE2_SPTR text, size_t length,
                        size_t from, size_t last, MatchArea& area) {
    if (jit) {
        int result = matchOnce(pattern, text, length, from, last, JIT_MATCH_STEP_LIMIT, 0, area);
        if (result != PCRE2_ERROR_MATCHLIMIT && result != PCRE2_ERROR_JIT_STACKLIMIT) {
            return result;
        }
    }
    return matchOnce(pattern, text, length, from, last, MATCH_STEP_LIMIT, PCRE2_NO_JIT, area);
}

// matchPattern's search over the starting positions from `from` on. Whether
// the pattern may be cut into windows is asked only when a window must end
// before the subject does, or be tried again: the common short subject is
// one call of PCRE2, as a plain match.
int matchInWindows(const pcre2_code* pattern, bool jit, PCRE2_SPTR text, size_t length, size_t from,
                   MatchArea& area, WorkDeadline* deadline) {
    const size_t positions = jit ? JIT_WINDOW_POSITIONS : INTERPRETER_WINDOW_POSITIONS;
    const uint32_t stepLimit = jit ? JIT_WINDOW_STEP_LIMIT : INTERPRETER_WINDOW_STEP_LIMIT;
    int windows = -1;  // not yet asked
    auto inWindows = [&] {
        if (windows < 0) {
            windows = matchesInWindows(pattern) ? 1 : 0;
        }
        return windows == 1;
    };
    for (size_t start = from;;) {
        const bool toTheEnd = start >= length || length - start < positions;
        if (!toTheEnd && !inWindows()) {
            return classicResultCode(
                matchWithFullLimits(pattern, jit, text, length, start, PCRE2_UNSET, area));
        }
        const size_t last = toTheEnd ? PCRE2_UNSET : start + positions - 1;
        int result = matchOnce(pattern, text, length, start, last, stepLimit, 0, area);
        if (result == PCRE2_ERROR_MATCHLIMIT || result == PCRE2_ERROR_JIT_STACKLIMIT) {
            if (!inWindows()) {
                return classicResultCode(
                    matchWithFullLimits(pattern, jit, text, length, start, PCRE2_UNSET, area));
            }
            // Some position needs more: each is tried alone with the full limits.
            for (size_t position = start; position <= std::min(last, length); ++position) {
                if (position > start && deadline != nullptr && deadlinePassed(*deadline)) {
                    return MATCH_OUT_OF_TIME;
                }
                result = matchWithFullLimits(pattern, jit, text, length, position, position, area);
                if (result != PCRE2_ERROR_NOMATCH) {
                    return classicResultCode(result);
                }
            }
        } else if (result != PCRE2_ERROR_NOMATCH) {
            return classicResultCode(result);
        }
        if (toTheEnd) {
            return MATCH_NO_MATCH;
        }
        if (deadline != nullptr && deadlinePassed(*deadline)) {
            return MATCH_OUT_OF_TIME;
        }
        start = last + 1;
    }
}

}  // namespace

void PatternDeleter::operator()(pcre2_real_code_8* code) const {
    pcre2_code_free(code);
}

namespace {

// Compiles `pattern` as a rule's pattern, with `extraOptions`; a failure goes
// into `result`.
pcre2_code* compileWith(std::string_view pattern, uint32_t extraOptions,
                        PatternCompileResult& result) {
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    uint32_t options = PCRE2_CASELESS | extraOptions;
    if (!dependsOnSearchStart(pattern)) {
        options |= PCRE2_USE_OFFSET_LIMIT;
    }
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     options, &errorCode, &errorOffset, nullptr);
    if (code == nullptr) {
        PCRE2_UCHAR message[256];
        int length = pcre2_get_error_message(errorCode, message, sizeof message);
        result.errorOffset = static_cast<int>(errorOffset);
        result.errorText = length > 0 ? reinterpret_cast<const char*>(message) : "unknown error";
    }
    return code;
}

}  // namespace

PatternCompileResult compilePattern(std::string_view pattern, bool useJit) {
    PatternCompileResult result;
    pcre2_code* code = compileWith(pattern, 0, result);
    if (code == nullptr) {
        return result;
    }
    // Without JIT support, or when it fails (no executable memory), the pattern
    // stays interpreted.
    result.jit = useJit && pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
    result.pattern.reset(code);
    return result;
}

PatternCompileResult checkPattern(std::string_view pattern) {
    // What these options leave out works on compiled code that is already
    // whole (possessive repeats, the start of a match); none of it can fail.
    constexpr uint32_t CHECK_ONLY =
        PCRE2_NO_AUTO_POSSESS | PCRE2_NO_START_OPTIMIZE | PCRE2_NO_DOTSTAR_ANCHOR;
    PatternCompileResult result;
    CompiledPattern code(compileWith(pattern, CHECK_ONLY, result));
    return result;
}

const pcre2_real_code_8* machineCodeFor(const pcre2_real_code_8* compiled, uint32_t key,
                                        MachineCodeStore& store) {
    if (compiled == nullptr) {
        return nullptr;
    }
    auto [entry, added] = store.byKey.try_emplace(key);
    if (added) {
        // Without JIT support, or when it fails (no executable memory), the
        // pattern stays interpreted, and is not tried again.
        CompiledPattern copy(pcre2_code_copy(compiled));
        if (copy && pcre2_jit_compile(copy.get(), PCRE2_JIT_COMPLETE) == 0) {
            entry->second = std::move(copy);
        }
    }
    return entry->second ? entry->second.get() : compiled;
}

const pcre2_real_code_8* madeMachineCode(uint32_t key, const MachineCodeStore& store) {
    auto found = store.byKey.find(key);
    return found == store.byKey.end() ? nullptr : found->second.get();
}

MatchArea::MatchArea() = default;

MatchArea::~MatchArea() {
    pcre2_jit_stack_free(jitStack);
    pcre2_match_context_free(context);
    pcre2_match_data_free(data);
}

int matchPattern(const pcre2_real_code_8* pattern, const char* subject, size_t length,
                 MatchArea& area, size_t from, WorkDeadline* deadline) {
    if (pattern == nullptr || subject == nullptr) {
        return MATCH_NULL;
    }
    if (!prepareArea(area)) {
        return MATCH_NO_MEMORY;
    }
    if (deadline != nullptr && deadlinePassed(*deadline)) {
        return MATCH_OUT_OF_TIME;
    }
    PCRE2_SPTR text = reinterpret_cast<PCRE2_SPTR>(subject);
    bool jit = usesJit(pattern);
    if (jit && area.jitStack == nullptr) {
        area.jitStack = pcre2_jit_stack_create(JIT_STACK_START, JIT_STACK_MAX, nullptr);
        pcre2_jit_stack_assign(area.context, nullptr, area.jitStack);
    }
    return matchInWindows(pattern, jit, text, length, from, area, deadline);
}

}  // namespace cw
