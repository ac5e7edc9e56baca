#ifndef SRC_SYSTEM_PATTERN_H_
#define SRC_SYSTEM_PATTERN_H_

// Regular expressions for picking values out of tool output. Results equal those of
// std::regex_search with ECMAScript syntax on the supported subset, but matching runs in
// time linear in the text and with stack use that does not grow with it: the tools print
// far more than std::regex's recursive matcher survives.
//
// Supported: literal bytes; escapes \d \D \s \S \w \W \t \n \r \f \v and escaped ASCII
// punctuation; classes [...] and [^...] with ranges and those escapes; '.'; capturing and
// (?:...) groups; '|'; greedy '*', '+', '?'. Everything else is rejected when compiling,
// and so is '*' or '+' applied to something that can match the empty text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Exact facts about where a match can begin, used to skip text without running threads.
struct PatternStartRules {
  std::vector<std::string> literals;  // every match contains one of them; empty when unknown
  bool literalOnStartLine = false;    // no '\n' or '\r' lies between a match's start and it
  bool matchesEmpty = false;
  std::array<bool, 256> firstBytes{};        // bytes a non-empty match can begin with
  std::array<bool, 256> leadingLoopBytes{};  // bytes of a greedy loop the expression begins with
};

// A point of the compiled expression where a thread waits: for a byte from `bytes`, or, at
// the end of the expression, to report a match.
struct PatternWait {
  bool isMatch = false;
  std::uint32_t bytes = 0;  // index into PatternAutomaton::byteSets
  std::uint32_t followBegin =
      0;  // entries of PatternAutomaton::follows taken after consuming a byte
  std::uint32_t followEnd = 0;
  bool selfLoop = false;         // the first follow is this point again, saving nothing
  std::uint32_t leaveBytes = 0;  // selfLoop: next bytes after which the threads differ
  bool tail = false;             // selfLoop whose only other follow is the match
};

// Where a thread goes next: a wait point, storing the position in some capture slots on
// the way (slot 2n is where group n begins, 2n + 1 where it ends).
struct PatternFollow {
  std::uint32_t wait = 0;
  bool toMatch = false;         // copied from the wait point, which is checked per byte
  std::uint32_t bytes = 0;      // likewise
  std::uint32_t saveBegin = 0;  // entries of PatternAutomaton::saves
  std::uint32_t saveEnd = 0;
};

// An expression as a graph of wait points, with follows listed in priority order: the
// order in which a backtracking matcher would try them.
struct PatternAutomaton {
  std::vector<std::array<bool, 256>> byteSets;
  std::vector<PatternWait> waits;
  std::vector<PatternFollow> follows;
  std::vector<std::uint32_t> saves;
  std::uint32_t startBegin = 0;  // follows taken when a match attempt starts
  std::uint32_t startEnd = 0;
  std::array<std::uint8_t, 256> byteClass{};  // bytes that no byte set tells apart share one
  std::vector<std::uint8_t> classByte;        // a byte of each class
};

// For an expression made of a greedy loop over some bytes followed by a rest that only
// takes such bytes too (".*X" or "[\s\S]*X"): a match starts where a run of loop bytes
// starts, and its loop stops at the last place in that run where the rest matches. That
// place is found by reading the run backward.
struct PatternBackwardScan {
  bool usable = false;
  std::uint32_t loopWait = 0;  // the loop's wait point
  std::array<bool, 256> loopBytes{};
  PatternAutomaton reversedRest;  // the rest read backward, without captures
};

// A regular expression compiled once, typically into a `static const Pattern`.
struct Pattern {
  std::string expression;
  std::size_t groupCount = 0;  // capture groups, not counting the whole match
  PatternAutomaton automaton;
  PatternStartRules start;
  PatternBackwardScan backward;
};

struct PatternMatch {
  struct Group {
    bool matched = false;
    std::size_t begin = 0;
    std::size_t end = 0;
  };
  std::vector<Group> groups;  // groups[0] is the whole match; one entry per capture group after it
};

// Compiles an expression; an expression outside the supported subset is a programming fault
// and throws std::invalid_argument.
Pattern compilePattern(std::string_view expression);

// How searchPattern runs. `threads` advances all candidate matches together over the text;
// `backtracking` searches depth first, remembering what failed, which is quicker on short
// texts but needs memory in proportion to the text; `backwardScan` (for expressions like
// ".*X", others run as `automatic`) first reads runs of the loop's bytes backward to find
// where X must match, then matches X there with threads. `automatic` picks by the
// expression and the text size. All give the same result.
enum class PatternMethod { automatic, threads, backtracking, backwardScan };

// Same result as std::regex_search(text, m, std::regex(expression)): the leftmost match,
// chosen among those starting there as a backtracking matcher would choose it. `match` is
// emptied when there is none.
bool searchPattern(const Pattern& pattern, std::string_view text, PatternMatch& match,
                   PatternMethod method = PatternMethod::automatic);

// Text of a group ("" when the group did not take part in the match).
std::string groupText(std::string_view text, const PatternMatch& match, std::size_t group);

#endif  // SRC_SYSTEM_PATTERN_H_
