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
  std::uint32_t bytes = 0;        // index into Pattern::byteSets
  std::uint32_t followBegin = 0;  // entries of Pattern::follows taken after consuming a byte
  std::uint32_t followEnd = 0;
  bool selfLoop = false;         // the first follow is this point again, saving nothing
  std::uint32_t leaveBytes = 0;  // selfLoop: next bytes after which the threads differ
  bool tail = false;             // takes any byte, then only repeats or matches
};

// Where a thread goes next: a wait point, storing the position in some capture slots on
// the way (slot 2n is where group n begins, 2n + 1 where it ends).
struct PatternFollow {
  std::uint32_t wait = 0;
  bool toMatch = false;         // copied from the wait point, which is checked per byte
  std::uint32_t bytes = 0;      // likewise
  std::uint32_t saveBegin = 0;  // entries of Pattern::saves
  std::uint32_t saveEnd = 0;
};

// A regular expression compiled once, typically into a `static const Pattern`. Follows are
// listed in priority order, the order in which a backtracking matcher would try them.
struct Pattern {
  std::string expression;
  std::size_t groupCount = 0;  // capture groups, not counting the whole match
  std::vector<std::array<bool, 256>> byteSets;
  std::vector<PatternWait> waits;
  std::vector<PatternFollow> follows;
  std::vector<std::uint32_t> saves;
  std::uint32_t startBegin = 0;  // follows taken when a match attempt starts
  std::uint32_t startEnd = 0;
  PatternStartRules start;
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

// Same result as std::regex_search(text, m, std::regex(expression)): the leftmost match,
// chosen among those starting there as a backtracking matcher would choose it. `match` is
// emptied when there is none.
bool searchPattern(const Pattern& pattern, std::string_view text, PatternMatch& match);

// Text of a group ("" when the group did not take part in the match).
std::string groupText(std::string_view text, const PatternMatch& match, std::size_t group);

#endif  // SRC_SYSTEM_PATTERN_H_
