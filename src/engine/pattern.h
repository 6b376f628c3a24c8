// The one adapter between the rule engine and PCRE2. It keeps the classic PCRE
// semantics the rules are written for: caseless compile with no other option
// (no UTF, default tables, so bytes 0x80-0xFF are not letters), a match from
// offset 0 over the whole subject with room for 40 pairs, and the classic
// negative result codes. Patterns are compiled to machine code by PCRE2's JIT
// where the library and the platform allow it, and interpreted otherwise; both
// give the same results, limits included (see MatchArea).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/work_budget.h"

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;
struct pcre2_real_jit_stack_8;

namespace cw {

// Result codes of matchPattern below 0, as the log reports them.
inline constexpr int MATCH_NO_MATCH = -1;
inline constexpr int MATCH_NULL = -2;
inline constexpr int MATCH_BAD_OPTION = -3;
inline constexpr int MATCH_BAD_MAGIC = -4;
inline constexpr int MATCH_UNKNOWN_NODE = -5;
inline constexpr int MATCH_NO_MEMORY = -6;
inline constexpr int MATCH_LIMIT = -8;
// Not a classic code: the deadline handed to matchPattern passed before the
// match was decided.
inline constexpr int MATCH_OUT_OF_TIME = -1000;

// The interpreter stops a match after this many backtracking steps at one
// starting position. On the training mail (3,000 messages, the shipped rules
// and the 200-rule benchmark set, bench/match_limits) no match needs more than
// 1,758 steps, so a million leaves every ordinary rule more than 500 times what
// it needs, while a runaway pattern is stopped within about 10 ms (at PCRE2's
// default of ten million one match took 0.1 to 0.4 s).
inline constexpr uint32_t MATCH_STEP_LIMIT = 1000000;

struct PatternDeleter {
    void operator()(pcre2_real_code_8* code) const;
};
using CompiledPattern = std::unique_ptr<pcre2_real_code_8, PatternDeleter>;

struct PatternCompileResult {
    CompiledPattern pattern;  // null when compiling failed
    int errorOffset = 0;
    std::string errorText;
    bool jit = false;  // matched by machine code
};

// `useJit` false keeps the pattern interpreted (tests compare the two; a rule
// set gets its machine code from a MachineCodeStore).
PatternCompileResult compilePattern(std::string_view pattern, bool useJit = true);

// Compiles `pattern` only to learn whether it compiles, for a pattern whose
// code is not kept: what compilePattern gives, without the code, a fifth cheaper.
PatternCompileResult checkPattern(std::string_view pattern);

// Whether a compile result stands for a pattern that compiles (its code may
// not be kept): a failure always has an error text.
inline bool patternCompiles(const PatternCompileResult& compiled) {
    return compiled.errorText.empty();
}

// Machine code for compiled patterns, made at a pattern's first match and kept
// apart from it. Most rules of a large list never reach a subject that could
// match them, and machine code is most of what a pattern costs (a 100,000-entry
// pattern list: 1.5 s and 20 MB compiled, 12 s and 230 MB with machine code),
// so it is made only for the patterns that run; and since making it changes
// the compiled pattern, it is made from a copy, so that the compiled patterns
// stay as they were compiled. Keyed by the caller's number of the pattern; used
// by one thread at a time.
struct MachineCodeStore {
    // Null where the JIT could not take the pattern: it is matched interpreted.
    std::unordered_map<uint32_t, CompiledPattern> byKey;
};

// What to match the compiled pattern numbered `key` with: its machine code, made
// now when the store has none yet, or the compiled pattern itself where the JIT
// cannot take it.
const pcre2_real_code_8* machineCodeFor(const pcre2_real_code_8* compiled, uint32_t key,
                                        MachineCodeStore& store);

// The machine code the store made for `key` before; null when it made none yet
// or the JIT could not take the pattern.
const pcre2_real_code_8* madeMachineCode(uint32_t key, const MachineCodeStore& store);

// What matching needs besides the pattern: the match positions, the limits and
// the JIT's stack, made on first use and reused from subject to subject, so a
// match allocates nothing once it exists. One per scan (or per dialog); never
// shared between threads.
struct MatchArea {
    MatchArea();
    ~MatchArea();
    MatchArea(const MatchArea&) = delete;
    MatchArea& operator=(const MatchArea&) = delete;

    pcre2_real_match_data_8* data = nullptr;
    pcre2_real_match_context_8* context = nullptr;
    pcre2_real_jit_stack_8* jitStack = nullptr;
};

// 0 or more on a match (0 when the groups do not all fit the 40 pairs), else one
// of the negative codes above; any other failure maps below -8. The match is
// looked for from `from` on (what lies before it still counts for \b).
//
// The step limit counts from each starting position afresh, so on a long
// subject a pattern that stays below it everywhere can still take minutes. So
// the starting positions are tried in windows, and `deadline`, when given, is
// looked at before the first and between two windows: once it has passed, the
// result is MATCH_OUT_OF_TIME. A window tries its positions with a small step
// limit each, which no ordinary rule comes near; a window where one position
// needs more is tried again one position at a time with the full limits. So one
// window costs a bounded time, and every position gets the result it would get
// in one plain match. Patterns with a backtracking verb or \G, whose result
// depends on where a match began to be looked for, and anchored ones are
// matched in one piece.
int matchPattern(const pcre2_real_code_8* pattern, const char* subject, size_t length,
                 MatchArea& area, size_t from = 0, WorkDeadline* deadline = nullptr);

}  // namespace cw
