#include "system/pattern.h"

#include <algorithm>
#include <bitset>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>
#include <utility>

// Three ways to find the match a backtracking matcher (std::regex) finds first, all in time
// linear in the text and without recursion over it:
//
// - Threads (a Pike VM): all candidate matches advance together one byte at a time, kept
//   in priority order; a thread reaching a wait point already taken at that position is
//   dropped, since the one that got there first has the higher priority and the same future.
// - Backtracking that never explores a (wait point, position) pair twice, for the same
//   reason. Quicker on short texts; its record of visited pairs grows with the text.
// - For ".*X"-shaped expressions, a backward scan that finds where X must match, and one
//   of the above from there.
//
// All three rely on no loop coming back to itself without consuming a byte; libstdc++ runs
// such loops one extra round, which is why the parser refuses them.

namespace {

constexpr std::size_t noPosition = std::numeric_limits<std::size_t>::max();

// More alternatives than this are not worth searching for one by one.
constexpr std::size_t maxLiterals = 8;

using ByteSet = std::bitset<256>;

// ---------------------------------------------------------------------------------------
// Syntax tree

enum class NodeKind { bytes, concat, alternate, group, star, plus, optional };

struct Node {
  NodeKind kind = NodeKind::concat;
  ByteSet bytes;               // bytes
  std::vector<Node> children;  // concat, alternate: parts; group and repeats: one child
  std::size_t group = 0;       // group: capture number, from 1
};

Node bytesNode(const ByteSet& bytes) {
  Node node;
  node.kind = NodeKind::bytes;
  node.bytes = bytes;
  return node;
}

Node wrapNode(NodeKind kind, Node child) {
  Node node;
  node.kind = kind;
  node.children.push_back(std::move(child));
  return node;
}

bool isNullable(const Node& node) {
  switch (node.kind) {
    case NodeKind::bytes:
      return false;
    case NodeKind::concat:
      return std::all_of(node.children.begin(), node.children.end(), isNullable);
    case NodeKind::alternate:
      return std::any_of(node.children.begin(), node.children.end(), isNullable);
    case NodeKind::group:
    case NodeKind::plus:
      return isNullable(node.children[0]);
    case NodeKind::star:
    case NodeKind::optional:
      return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------
// Parser

struct Parser {
  std::string_view expression;
  std::size_t pos = 0;
  std::size_t groupCount = 0;
};

[[noreturn]] void reject(const Parser& parser, const std::string& reason) {
  throw std::invalid_argument("regular expression \"" + std::string(parser.expression) +
                              "\": " + reason + " at offset " + std::to_string(parser.pos));
}

bool atEnd(const Parser& parser) { return parser.pos >= parser.expression.size(); }

char peek(const Parser& parser) { return atEnd(parser) ? '\0' : parser.expression[parser.pos]; }

bool consume(Parser& parser, char c) {
  if (atEnd(parser) || parser.expression[parser.pos] != c) {
    return false;
  }
  ++parser.pos;
  return true;
}

ByteSet singleByte(unsigned char c) {
  ByteSet set;
  set.set(c);
  return set;
}

ByteSet byteRange(unsigned char first, unsigned char last) {
  ByteSet set;
  for (unsigned c = first; c <= last; ++c) {
    set.set(c);
  }
  return set;
}

// The "C" locale's classes, which std::regex uses for \d, \s and \w.
ByteSet digitBytes() { return byteRange('0', '9'); }

ByteSet spaceBytes() { return byteRange('\t', '\r') | singleByte(' '); }

ByteSet wordBytes() {
  return byteRange('a', 'z') | byteRange('A', 'Z') | digitBytes() | singleByte('_');
}

ByteSet dotBytes() { return ~(singleByte('\n') | singleByte('\r')); }

// One unit inside or outside a class: a single byte, or a class escape like \d.
struct Atom {
  ByteSet bytes;
  bool single = false;
  unsigned char byte = 0;
};

Atom byteAtom(unsigned char c) {
  Atom atom;
  atom.bytes = singleByte(c);
  atom.single = true;
  atom.byte = c;
  return atom;
}

Atom classAtom(const ByteSet& bytes) {
  Atom atom;
  atom.bytes = bytes;
  return atom;
}

bool isAsciiPunctuation(unsigned char c) {
  return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') ||
         (c >= '{' && c <= '~');
}

// Parses what follows a backslash.
Atom parseEscape(Parser& parser) {
  if (atEnd(parser)) {
    reject(parser, "backslash at the end");
  }
  const unsigned char c = static_cast<unsigned char>(parser.expression[parser.pos]);
  switch (c) {
    case 'd':
    case 'D':
    case 's':
    case 'S':
    case 'w':
    case 'W': {
      ++parser.pos;
      const ByteSet set = c == 'd' || c == 'D'   ? digitBytes()
                          : c == 's' || c == 'S' ? spaceBytes()
                                                 : wordBytes();
      return classAtom(c >= 'a' ? set : ~set);
    }
    case 't':
      ++parser.pos;
      return byteAtom('\t');
    case 'n':
      ++parser.pos;
      return byteAtom('\n');
    case 'r':
      ++parser.pos;
      return byteAtom('\r');
    case 'f':
      ++parser.pos;
      return byteAtom('\f');
    case 'v':
      ++parser.pos;
      return byteAtom('\v');
    case 'b':
    case 'B':
      reject(parser, "word boundaries are not supported");
    default:
      break;
  }
  if (c >= '0' && c <= '9') {
    reject(parser, "back references and numeric escapes are not supported");
  }
  if (!isAsciiPunctuation(c)) {
    reject(parser, std::string("unsupported escape \\") + static_cast<char>(c));
  }
  ++parser.pos;
  return byteAtom(c);
}

Atom parseClassAtom(Parser& parser) {
  if (atEnd(parser)) {
    reject(parser, "unterminated character class");
  }
  const unsigned char c = static_cast<unsigned char>(parser.expression[parser.pos]);
  if (c == '[') {
    reject(parser, "'[' inside a character class must be escaped");
  }
  ++parser.pos;
  if (c == '\\') {
    return parseEscape(parser);
  }
  return byteAtom(c);
}

// Called after '['.
Node parseClass(Parser& parser) {
  const bool negated = consume(parser, '^');
  if (peek(parser) == ']') {
    reject(parser, "empty character class");
  }
  ByteSet set;
  while (!consume(parser, ']')) {
    const Atom first = parseClassAtom(parser);
    const bool isRange = peek(parser) == '-' && parser.pos + 1 < parser.expression.size() &&
                         parser.expression[parser.pos + 1] != ']';
    if (!isRange) {
      set |= first.bytes;
      continue;
    }
    ++parser.pos;
    const Atom last = parseClassAtom(parser);
    if (!first.single || !last.single) {
      reject(parser, "a class escape cannot bound a range");
    }
    if (first.byte >= 0x80 || last.byte >= 0x80 || first.byte > last.byte) {
      reject(parser, "invalid range");
    }
    set |= byteRange(first.byte, last.byte);
  }
  return bytesNode(negated ? ~set : set);
}

Node parseDisjunction(Parser& parser);

// Called after '('.
Node parseGroup(Parser& parser) {
  std::size_t group = 0;
  if (consume(parser, '?')) {
    if (!consume(parser, ':')) {
      reject(parser, "only (?: groups are supported");
    }
  } else {
    group = ++parser.groupCount;
  }
  Node inner = parseDisjunction(parser);
  if (!consume(parser, ')')) {
    reject(parser, "missing ')'");
  }
  if (group == 0) {
    return inner;
  }
  Node node = wrapNode(NodeKind::group, std::move(inner));
  node.group = group;
  return node;
}

Node parseAtom(Parser& parser) {
  const unsigned char c = static_cast<unsigned char>(parser.expression[parser.pos]);
  ++parser.pos;
  switch (c) {
    case '(':
      return parseGroup(parser);
    case '[':
      return parseClass(parser);
    case '.':
      return bytesNode(dotBytes());
    case '\\':
      return bytesNode(parseEscape(parser).bytes);
    case '*':
    case '+':
    case '?':
      --parser.pos;
      reject(parser, "quantifier without anything to repeat");
    case '^':
    case '$':
      --parser.pos;
      reject(parser, "anchors are not supported");
    case '{':
    case '}':
      --parser.pos;
      reject(parser, "counted repetition is not supported");
    case ']':
      --parser.pos;
      reject(parser, "']' outside a class must be escaped");
    default:
      return bytesNode(singleByte(c));
  }
}

bool isQuantifier(char c) { return c == '*' || c == '+' || c == '?'; }

Node parseTerm(Parser& parser) {
  Node atom = parseAtom(parser);
  const char quantifier = peek(parser);
  if (!isQuantifier(quantifier)) {
    return atom;
  }
  if (quantifier != '?' && isNullable(atom)) {
    reject(parser, "'*' or '+' on an expression that can match empty text is not supported");
  }
  ++parser.pos;
  if (isQuantifier(peek(parser))) {
    reject(parser, "lazy or repeated quantifiers are not supported");
  }
  const NodeKind kind = quantifier == '*'   ? NodeKind::star
                        : quantifier == '+' ? NodeKind::plus
                                            : NodeKind::optional;
  return wrapNode(kind, std::move(atom));
}

Node parseAlternative(Parser& parser) {
  Node node;
  node.kind = NodeKind::concat;
  while (!atEnd(parser) && peek(parser) != '|' && peek(parser) != ')') {
    node.children.push_back(parseTerm(parser));
  }
  if (node.children.size() == 1) {
    return std::move(node.children[0]);
  }
  return node;
}

Node parseDisjunction(Parser& parser) {
  Node first = parseAlternative(parser);
  if (peek(parser) != '|') {
    return first;
  }
  Node node;
  node.kind = NodeKind::alternate;
  node.children.push_back(std::move(first));
  while (consume(parser, '|')) {
    node.children.push_back(parseAlternative(parser));
  }
  return node;
}

Node parseExpression(Parser& parser) {
  Node node = parseDisjunction(parser);
  if (!atEnd(parser)) {
    reject(parser, "unmatched ')'");
  }
  return node;
}

// ---------------------------------------------------------------------------------------
// Code generation: a Thompson program first, then the wait points and follows derived from it

enum class Op : std::uint8_t {
  byteSet,  // consume one byte from byte set x
  split,    // continue at x, and with lower priority at y
  jump,     // continue at x
  save,     // store the position in capture slot x
  match,
};

struct Instruction {
  Op op = Op::match;
  std::uint32_t x = 0;
  std::uint32_t y = 0;
};

struct Program {
  std::vector<Instruction> code;  // runs from instruction 0
  std::vector<ByteSet> byteSets;
};

std::uint32_t emit(Program& program, Op op, std::uint32_t x = 0, std::uint32_t y = 0) {
  program.code.push_back(Instruction{op, x, y});
  return static_cast<std::uint32_t>(program.code.size() - 1);
}

std::uint32_t here(const Program& program) {
  return static_cast<std::uint32_t>(program.code.size());
}

std::uint32_t internByteSet(std::vector<ByteSet>& sets, const ByteSet& set) {
  const auto found = std::find(sets.begin(), sets.end(), set);
  if (found != sets.end()) {
    return static_cast<std::uint32_t>(found - sets.begin());
  }
  sets.push_back(set);
  return static_cast<std::uint32_t>(sets.size() - 1);
}

void emitNode(Program& program, const Node& node);

void emitAlternate(Program& program, const Node& node) {
  std::vector<std::uint32_t> exits;
  for (std::size_t i = 0; i + 1 < node.children.size(); ++i) {
    const std::uint32_t split = emit(program, Op::split);
    program.code[split].x = here(program);
    emitNode(program, node.children[i]);
    exits.push_back(emit(program, Op::jump));
    program.code[split].y = here(program);
  }
  emitNode(program, node.children.back());
  for (const std::uint32_t exit : exits) {
    program.code[exit].x = here(program);
  }
}

void emitNode(Program& program, const Node& node) {
  switch (node.kind) {
    case NodeKind::bytes:
      emit(program, Op::byteSet, internByteSet(program.byteSets, node.bytes));
      return;
    case NodeKind::concat:
      for (const Node& child : node.children) {
        emitNode(program, child);
      }
      return;
    case NodeKind::alternate:
      emitAlternate(program, node);
      return;
    case NodeKind::group:
      emit(program, Op::save, static_cast<std::uint32_t>(2 * node.group));
      emitNode(program, node.children[0]);
      emit(program, Op::save, static_cast<std::uint32_t>(2 * node.group + 1));
      return;
    case NodeKind::star: {
      const std::uint32_t loop = emit(program, Op::split);
      program.code[loop].x = here(program);
      emitNode(program, node.children[0]);
      emit(program, Op::jump, loop);
      program.code[loop].y = here(program);
      return;
    }
    case NodeKind::plus: {
      const std::uint32_t body = here(program);
      emitNode(program, node.children[0]);
      emit(program, Op::split, body, here(program) + 1);
      return;
    }
    case NodeKind::optional: {
      const std::uint32_t split = emit(program, Op::split);
      program.code[split].x = here(program);
      emitNode(program, node.children[0]);
      program.code[split].y = here(program);
      return;
    }
  }
}

Program emitProgram(const Node& root) {
  Program program;
  emit(program, Op::save, 0);
  emitNode(program, root);
  emit(program, Op::save, 1);
  emit(program, Op::match);
  return program;
}

bool isWait(const Instruction& instruction) {
  return instruction.op == Op::byteSet || instruction.op == Op::match;
}

// A branch still to explore while computing follows: where it continues, and how many of
// the saves on the current path belong to it.
struct Branch {
  std::uint32_t pc = 0;
  std::size_t saveCount = 0;
};

// Appends the follows of program point `from` to the pattern: every wait point reachable
// without consuming a byte, in the order a backtracking matcher would reach them, each with
// the saves on the first path to it. A point reached again is not explored again, as the
// first path has the higher priority and the same future.
void appendFollows(const Program& program, const std::vector<std::uint32_t>& waitOf,
                   std::uint32_t from, PatternAutomaton& automaton) {
  std::vector<bool> visited(program.code.size(), false);
  std::vector<std::uint32_t> path;
  std::vector<Branch> branches{Branch{from, 0}};
  while (!branches.empty()) {
    const Branch branch = branches.back();
    branches.pop_back();
    path.resize(branch.saveCount);
    std::uint32_t pc = branch.pc;
    while (!visited[pc]) {
      visited[pc] = true;
      const Instruction& instruction = program.code[pc];
      if (instruction.op == Op::jump) {
        pc = instruction.x;
      } else if (instruction.op == Op::split) {
        branches.push_back(Branch{instruction.y, path.size()});
        pc = instruction.x;
      } else if (instruction.op == Op::save) {
        path.push_back(instruction.x);
        ++pc;
      } else {
        const auto saveBegin = static_cast<std::uint32_t>(automaton.saves.size());
        automaton.saves.insert(automaton.saves.end(), path.begin(), path.end());
        PatternFollow follow;
        follow.wait = waitOf[pc];
        follow.toMatch = instruction.op == Op::match;
        follow.bytes = follow.toMatch ? 0 : instruction.x;
        follow.saveBegin = saveBegin;
        follow.saveEnd = static_cast<std::uint32_t>(automaton.saves.size());
        automaton.follows.push_back(follow);
        break;
      }
    }
  }
}

// Marks loops that let the single-thread fast path run, and tail loops like a closing
// ".*": once such a thread leads, the match is known to end where the loop's bytes do.
void describeLoop(PatternAutomaton& automaton, std::vector<ByteSet>& sets,
                  std::uint32_t waitIndex) {
  PatternWait& wait = automaton.waits[waitIndex];
  const PatternFollow* begin = automaton.follows.data() + wait.followBegin;
  const PatternFollow* end = automaton.follows.data() + wait.followEnd;
  if (begin == end || begin->wait != waitIndex || begin->saveBegin != begin->saveEnd) {
    return;
  }
  wait.selfLoop = true;
  ByteSet leave = ~sets[wait.bytes];
  for (const PatternFollow* follow = begin + 1; follow != end; ++follow) {
    const PatternWait& other = automaton.waits[follow->wait];
    leave |= other.isMatch ? ~ByteSet() : sets[other.bytes];
  }
  wait.leaveBytes = internByteSet(sets, leave);
  wait.tail = end - begin == 2 && automaton.waits[(begin + 1)->wait].isMatch;
}

std::array<bool, 256> toTable(const ByteSet& set) {
  std::array<bool, 256> table{};
  for (std::size_t c = 0; c < table.size(); ++c) {
    table[c] = set.test(c);
  }
  return table;
}

// Bytes that no byte set tells apart behave alike, so tables indexed by byte class instead
// of by byte stay small.
void classifyBytes(PatternAutomaton& automaton) {
  std::vector<std::vector<bool>> signatures;
  for (unsigned c = 0; c < 256; ++c) {
    std::vector<bool> signature;
    for (const std::array<bool, 256>& set : automaton.byteSets) {
      signature.push_back(set[c]);
    }
    auto found = std::find(signatures.begin(), signatures.end(), signature);
    if (found == signatures.end()) {
      automaton.classByte.push_back(static_cast<std::uint8_t>(c));
      signatures.push_back(std::move(signature));
      found = signatures.end() - 1;
    }
    automaton.byteClass[c] = static_cast<std::uint8_t>(found - signatures.begin());
  }
}

void buildAutomaton(const Program& program, PatternAutomaton& automaton) {
  std::vector<std::uint32_t> waitOf(program.code.size(), 0);
  std::vector<std::uint32_t> waitPcs;
  for (std::uint32_t pc = 0; pc < program.code.size(); ++pc) {
    if (isWait(program.code[pc])) {
      waitOf[pc] = static_cast<std::uint32_t>(waitPcs.size());
      waitPcs.push_back(pc);
    }
  }
  std::vector<ByteSet> sets = program.byteSets;
  for (const std::uint32_t pc : waitPcs) {
    PatternWait wait;
    wait.isMatch = program.code[pc].op == Op::match;
    wait.bytes = wait.isMatch ? 0 : program.code[pc].x;
    wait.followBegin = static_cast<std::uint32_t>(automaton.follows.size());
    if (!wait.isMatch) {
      appendFollows(program, waitOf, pc + 1, automaton);
    }
    wait.followEnd = static_cast<std::uint32_t>(automaton.follows.size());
    automaton.waits.push_back(wait);
  }
  automaton.startBegin = static_cast<std::uint32_t>(automaton.follows.size());
  appendFollows(program, waitOf, 0, automaton);
  automaton.startEnd = static_cast<std::uint32_t>(automaton.follows.size());
  for (std::uint32_t i = 0; i < automaton.waits.size(); ++i) {
    if (!automaton.waits[i].isMatch) {
      describeLoop(automaton, sets, i);
    }
  }
  for (const ByteSet& set : sets) {
    automaton.byteSets.push_back(toTable(set));
  }
  classifyBytes(automaton);
}

// ---------------------------------------------------------------------------------------
// Start rules

ByteSet firstBytes(const Node& node) {
  switch (node.kind) {
    case NodeKind::bytes:
      return node.bytes;
    case NodeKind::concat: {
      ByteSet set;
      for (const Node& child : node.children) {
        set |= firstBytes(child);
        if (!isNullable(child)) {
          break;
        }
      }
      return set;
    }
    case NodeKind::alternate: {
      ByteSet set;
      for (const Node& child : node.children) {
        set |= firstBytes(child);
      }
      return set;
    }
    default:
      return firstBytes(node.children[0]);
  }
}

bool canMatchLineBreak(const Node& node) {
  if (node.kind == NodeKind::bytes) {
    return node.bytes.test('\n') || node.bytes.test('\r');
  }
  return std::any_of(node.children.begin(), node.children.end(), canMatchLineBreak);
}

// Bytes of a greedy single-byte loop that every match begins with. A match cannot start
// right after such a byte: starting one byte earlier would match too, and earlier wins.
ByteSet leadingLoopBytes(const Node& node) {
  if (node.kind == NodeKind::star && node.children[0].kind == NodeKind::bytes) {
    return node.children[0].bytes;
  }
  if (node.kind == NodeKind::group || (node.kind == NodeKind::concat && !node.children.empty())) {
    return leadingLoopBytes(node.children[0]);
  }
  return ByteSet();
}

// The one text that a node always matches, if it has one.
std::optional<std::string> exactText(const Node& node) {
  if (node.kind == NodeKind::bytes && node.bytes.count() == 1) {
    for (std::size_t c = 0; c < 256; ++c) {
      if (node.bytes.test(c)) {
        return std::string(1, static_cast<char>(c));
      }
    }
  }
  if (node.kind == NodeKind::group) {
    return exactText(node.children[0]);
  }
  if (node.kind != NodeKind::concat) {
    return std::nullopt;
  }
  std::string text;
  for (const Node& child : node.children) {
    const std::optional<std::string> part = exactText(child);
    if (!part) {
      return std::nullopt;
    }
    text += *part;
  }
  return text;
}

std::vector<std::string> leadingLiterals(const Node& node);

// Texts one of which begins every match of parts[from...] in sequence; empty if unknown.
std::vector<std::string> leadingLiterals(const std::vector<Node>& parts, std::size_t from) {
  std::string run;
  for (; from < parts.size(); ++from) {
    const std::optional<std::string> part = exactText(parts[from]);
    if (!part) {
      break;
    }
    run += *part;
  }
  if (!run.empty()) {
    return {run};
  }
  return from < parts.size() ? leadingLiterals(parts[from]) : std::vector<std::string>();
}

std::vector<std::string> leadingLiterals(const Node& node) {
  switch (node.kind) {
    case NodeKind::bytes: {
      const std::optional<std::string> text = exactText(node);
      return text ? std::vector<std::string>{*text} : std::vector<std::string>();
    }
    case NodeKind::concat:
      return leadingLiterals(node.children, 0);
    case NodeKind::group:
    case NodeKind::plus:
      return leadingLiterals(node.children[0]);
    case NodeKind::alternate: {
      std::vector<std::string> all;
      for (const Node& child : node.children) {
        const std::vector<std::string> some = leadingLiterals(child);
        if (some.empty()) {
          return {};
        }
        all.insert(all.end(), some.begin(), some.end());
      }
      return all;
    }
    case NodeKind::star:
    case NodeKind::optional:
      return {};
  }
  return {};
}

std::size_t shortestLength(const std::vector<std::string>& texts) {
  std::size_t shortest = noPosition;
  for (const std::string& text : texts) {
    shortest = std::min(shortest, text.size());
  }
  return shortest;
}

// Picks the literals to look for: preferably ones with no line break possible before them
// in a match, so that the search can start on the line where one occurs; then the longest.
void chooseLiterals(const Node& root, PatternStartRules& rules) {
  const std::vector<Node> single{root};
  const std::vector<Node>& parts = root.kind == NodeKind::concat ? root.children : single;
  bool onStartLine = true;
  for (std::size_t from = 0; from < parts.size(); ++from) {
    std::vector<std::string> literals = leadingLiterals(parts, from);
    const bool better = !literals.empty() && literals.size() <= maxLiterals &&
                        (rules.literals.empty() || (onStartLine && !rules.literalOnStartLine) ||
                         (onStartLine == rules.literalOnStartLine &&
                          shortestLength(literals) > shortestLength(rules.literals)));
    if (better) {
      rules.literals = std::move(literals);
      rules.literalOnStartLine = onStartLine;
    }
    onStartLine = onStartLine && !canMatchLineBreak(parts[from]);
  }
}

PatternStartRules analyzeStart(const Node& root) {
  PatternStartRules rules;
  rules.matchesEmpty = isNullable(root);
  rules.firstBytes = toTable(firstBytes(root));
  rules.leadingLoopBytes = toTable(leadingLoopBytes(root));
  if (!rules.matchesEmpty) {
    chooseLiterals(root, rules);
  }
  return rules;
}

// ---------------------------------------------------------------------------------------
// Preparing the backward scan

ByteSet bytesUsed(const Node& node) {
  ByteSet set = node.kind == NodeKind::bytes ? node.bytes : ByteSet();
  for (const Node& child : node.children) {
    set |= bytesUsed(child);
  }
  return set;
}

// The same language read backward; captures are of no use there.
Node reversed(const Node& node) {
  if (node.kind == NodeKind::group) {
    return reversed(node.children[0]);
  }
  Node copy;
  copy.kind = node.kind;
  copy.bytes = node.bytes;
  for (const Node& child : node.children) {
    copy.children.push_back(reversed(child));
  }
  if (node.kind == NodeKind::concat) {
    std::reverse(copy.children.begin(), copy.children.end());
  }
  return copy;
}

void prepareBackwardScan(const Node& root, Pattern& pattern) {
  if (root.kind != NodeKind::concat || root.children.size() < 2) {
    return;
  }
  const Node& loop = root.children[0];
  if (loop.kind != NodeKind::star || loop.children[0].kind != NodeKind::bytes) {
    return;
  }
  Node rest;
  rest.kind = NodeKind::concat;
  rest.children.assign(root.children.begin() + 1, root.children.end());
  const ByteSet loopBytes = loop.children[0].bytes;
  if ((bytesUsed(rest) & ~loopBytes).any()) {
    return;
  }
  const PatternAutomaton& automaton = pattern.automaton;
  const std::uint32_t loopWait = automaton.follows[automaton.startBegin].wait;
  if (!automaton.waits[loopWait].selfLoop ||
      automaton.byteSets[automaton.waits[loopWait].bytes] != toTable(loopBytes)) {
    return;
  }
  PatternBackwardScan& backward = pattern.backward;
  backward.loopWait = loopWait;
  backward.loopBytes = toTable(loopBytes);
  buildAutomaton(emitProgram(reversed(rest)), backward.reversedRest);
  backward.usable = true;
}

// ---------------------------------------------------------------------------------------
// Finding where to start

struct StartFinder {
  const Pattern* pattern = nullptr;
  std::string_view text;
  std::array<std::size_t, maxLiterals> literalAt{};  // next occurrence of each, or noPosition
  std::size_t lineLiteralAt = noPosition;
  std::size_t lineStart = 0;  // start of the line holding the occurrence at lineLiteralAt
};

StartFinder makeStartFinder(const Pattern& pattern, std::string_view text) {
  StartFinder finder;
  finder.pattern = &pattern;
  finder.text = text;
  for (std::size_t i = 0; i < pattern.start.literals.size(); ++i) {
    finder.literalAt[i] = text.find(pattern.start.literals[i]);
  }
  return finder;
}

bool anyLiteralFound(const StartFinder& finder) {
  const std::size_t count = finder.pattern->start.literals.size();
  return count == 0 || std::any_of(finder.literalAt.begin(), finder.literalAt.begin() + count,
                                   [](std::size_t at) { return at != noPosition; });
}

// Occurrences are only ever searched forward, so each byte is looked at once per literal.
std::size_t nextLiteral(StartFinder& finder, std::size_t pos) {
  const std::vector<std::string>& literals = finder.pattern->start.literals;
  std::size_t nearest = noPosition;
  for (std::size_t i = 0; i < literals.size(); ++i) {
    std::size_t& at = finder.literalAt[i];
    if (at != noPosition && at < pos) {
      at = finder.text.find(literals[i], pos);
    }
    nearest = std::min(nearest, at);
  }
  return nearest;
}

bool isLineBreak(char c) { return c == '\n' || c == '\r'; }

std::size_t startOfLine(StartFinder& finder, std::size_t literalAt, std::size_t pos) {
  if (finder.lineLiteralAt != literalAt) {
    std::size_t start = literalAt;
    while (start > pos && !isLineBreak(finder.text[start - 1])) {
      --start;
    }
    finder.lineLiteralAt = literalAt;
    finder.lineStart = start;
  }
  return std::max(pos, finder.lineStart);
}

std::size_t skipLoopContinuation(const StartFinder& finder, std::size_t pos) {
  const std::array<bool, 256>& loop = finder.pattern->start.leadingLoopBytes;
  while (pos > 0 && pos <= finder.text.size() &&
         loop[static_cast<unsigned char>(finder.text[pos - 1])]) {
    ++pos;
  }
  return pos > finder.text.size() ? noPosition : pos;
}

std::size_t skipToFirstByte(const StartFinder& finder, std::size_t pos) {
  const PatternStartRules& rules = finder.pattern->start;
  if (rules.matchesEmpty) {
    return pos;
  }
  while (pos < finder.text.size() &&
         !rules.firstBytes[static_cast<unsigned char>(finder.text[pos])]) {
    ++pos;
  }
  return pos < finder.text.size() ? pos : noPosition;
}

// The first position at or after `pos` where a match may start, or noPosition.
std::size_t nextStart(StartFinder& finder, std::size_t pos) {
  const PatternStartRules& rules = finder.pattern->start;
  while (pos <= finder.text.size()) {
    std::size_t candidate = pos;
    if (!rules.literals.empty()) {
      const std::size_t literalAt = nextLiteral(finder, pos);
      if (literalAt == noPosition) {
        return noPosition;
      }
      if (rules.literalOnStartLine) {
        candidate = startOfLine(finder, literalAt, pos);
      }
    }
    candidate = skipLoopContinuation(finder, candidate);
    if (candidate != noPosition) {
      candidate = skipToFirstByte(finder, candidate);
    }
    if (candidate == pos || candidate == noPosition) {
      return candidate;
    }
    pos = candidate;
  }
  return noPosition;
}

// The cheap part of nextStart, for positions reached while threads are running anyway.
bool mayStartAt(const Pattern& pattern, std::string_view text, std::size_t pos) {
  const PatternStartRules& rules = pattern.start;
  if (pos > 0 && rules.leadingLoopBytes[static_cast<unsigned char>(text[pos - 1])]) {
    return false;
  }
  return rules.matchesEmpty ||
         (pos < text.size() && rules.firstBytes[static_cast<unsigned char>(text[pos])]);
}

// ---------------------------------------------------------------------------------------
// Pike VM

// Threads waiting for the next byte (or at the match), highest priority first. Each refers
// to a capture record; threads share one until a save makes theirs differ.
struct ThreadList {
  std::size_t* waits = nullptr;
  std::size_t* records = nullptr;
  std::size_t count = 0;
};

// Capture records: slotCount slots each, reference counted, recycled through a free list.
// Live records never outnumber the threads of two lists plus the blank one.
struct Records {
  std::size_t slotCount = 0;
  std::size_t* slots = nullptr;
  std::size_t* references = nullptr;
  std::size_t* free = nullptr;
  std::size_t freeCount = 0;
};

// All memory a search needs. Small patterns fit in `local`, so that searching a short line
// does not allocate; the size depends on the pattern only, never on the text.
struct Machine {
  const Pattern* pattern = nullptr;
  std::array<std::size_t, 2048> local;
  std::vector<std::size_t> heap;
  ThreadList current;
  ThreadList next;
  Records records;
  std::size_t blank = 0;         // record with every slot unset
  std::size_t* marks = nullptr;  // per wait point: stamp of the list that took it
  std::size_t* best = nullptr;   // capture slots of the preferred match so far
};

std::size_t* carve(std::size_t*& memory, std::size_t size) {
  std::size_t* part = memory;
  memory += size;
  return part;
}

void initMachine(Machine& machine, const Pattern& pattern) {
  machine.pattern = &pattern;
  const std::size_t waits = pattern.automaton.waits.size();
  const std::size_t slotCount = 2 * (pattern.groupCount + 1);
  const std::size_t recordCount = 2 * waits + 1;
  const std::size_t size = 4 * waits + recordCount * (slotCount + 2) + waits + slotCount;
  std::size_t* memory = machine.local.data();
  if (size > machine.local.size()) {
    machine.heap.resize(size);
    memory = machine.heap.data();
  }
  for (ThreadList* list : {&machine.current, &machine.next}) {
    list->waits = carve(memory, waits);
    list->records = carve(memory, waits);
  }
  Records& records = machine.records;
  records.slotCount = slotCount;
  records.slots = carve(memory, recordCount * slotCount);
  records.references = carve(memory, recordCount);
  records.free = carve(memory, recordCount);
  for (std::size_t i = 0; i < recordCount; ++i) {
    records.free[i] = recordCount - 1 - i;
  }
  records.freeCount = recordCount;
  machine.marks = carve(memory, waits);
  std::fill(machine.marks, machine.marks + waits, 0);
  machine.best = carve(memory, slotCount);
  machine.blank = records.free[--records.freeCount];
  records.references[machine.blank] = 1;  // held for the whole search
  std::fill(records.slots + machine.blank * slotCount,
            records.slots + (machine.blank + 1) * slotCount, noPosition);
}

std::size_t* recordSlots(const Records& records, std::size_t record) {
  return records.slots + record * records.slotCount;
}

std::size_t copyRecord(Records& records, std::size_t from) {
  const std::size_t record = records.free[--records.freeCount];
  records.references[record] = 1;
  const std::size_t* source = recordSlots(records, from);
  std::size_t* target = recordSlots(records, record);
  for (std::size_t i = 0; i < records.slotCount; ++i) {
    target[i] = source[i];
  }
  return record;
}

void release(Records& records, std::size_t record) {
  if (--records.references[record] == 0) {
    records.free[records.freeCount++] = record;
  }
}

// Byte at `pos`, or -1 at the end of the text.
int byteAt(std::string_view text, std::size_t pos) {
  return pos < text.size() ? static_cast<unsigned char>(text[pos]) : -1;
}

bool survives(const Pattern& pattern, const PatternFollow& follow, int nextByte) {
  return follow.toMatch || (nextByte >= 0 && pattern.automaton.byteSets[follow.bytes][nextByte]);
}

// Queues the threads that follows [begin, end) lead to at position `pos`, descending from a
// thread with capture record `record`. `stamp` identifies the list (one per position): a
// point already taken for it keeps the earlier, higher-priority thread. Threads the next
// byte would end at once are not queued, only marked.
void addFollows(Machine& machine, ThreadList& list, std::size_t stamp, std::uint32_t begin,
                std::uint32_t end, std::size_t record, std::size_t pos, int nextByte) {
  const Pattern& pattern = *machine.pattern;
  for (std::uint32_t i = begin; i < end; ++i) {
    const PatternFollow& follow = pattern.automaton.follows[i];
    if (machine.marks[follow.wait] == stamp) {
      continue;
    }
    machine.marks[follow.wait] = stamp;
    if (!survives(pattern, follow, nextByte)) {
      continue;
    }
    std::size_t threadRecord = record;
    if (follow.saveBegin == follow.saveEnd) {
      ++machine.records.references[record];
    } else {
      threadRecord = copyRecord(machine.records, record);
      std::size_t* slots = recordSlots(machine.records, threadRecord);
      for (std::uint32_t save = follow.saveBegin; save < follow.saveEnd; ++save) {
        slots[pattern.automaton.saves[save]] = pos;
      }
    }
    list.waits[list.count] = follow.wait;
    list.records[list.count] = threadRecord;
    ++list.count;
  }
}

void startThread(Machine& machine, std::string_view text, std::size_t pos) {
  const Pattern& pattern = *machine.pattern;
  addFollows(machine, machine.current, pos + 1, pattern.automaton.startBegin,
             pattern.automaton.startEnd, machine.blank, pos, byteAt(text, pos));
}

void keepAsBest(Machine& machine, const std::size_t* slots) {
  std::copy(slots, slots + machine.records.slotCount, machine.best);
}

// Where a tail loop that takes the byte at `pos` stops, and so where its match ends.
std::size_t tailEnd(const PatternAutomaton& automaton, const PatternWait& wait,
                    std::string_view text, std::size_t pos) {
  const std::array<bool, 256>& bytes = automaton.byteSets[wait.bytes];
  if (std::all_of(bytes.begin(), bytes.end(), [](bool in) { return in; })) {
    return text.size();
  }
  while (pos < text.size() && bytes[static_cast<unsigned char>(text[pos])]) {
    ++pos;
  }
  return pos;
}

// The leading thread sits in a tail loop: it takes bytes as long as it can and then
// matches, and nothing of lower priority can overrule it.
void finishTail(Machine& machine, std::string_view text, std::size_t pos) {
  const PatternAutomaton& automaton = machine.pattern->automaton;
  const PatternWait& wait = automaton.waits[machine.current.waits[0]];
  keepAsBest(machine, recordSlots(machine.records, machine.current.records[0]));
  const std::size_t end = tailEnd(automaton, wait, text, pos);
  const PatternFollow& toMatch = automaton.follows[wait.followBegin + 1];
  for (std::uint32_t save = toMatch.saveBegin; save < toMatch.saveEnd; ++save) {
    machine.best[automaton.saves[save]] = end;
  }
}

// While the only thread loops on itself, positions where the next byte neither leaves the
// loop nor starts a new attempt change nothing; returns the last such position.
std::size_t skipLoop(const Machine& machine, std::string_view text, std::size_t pos, bool matched) {
  const Pattern& pattern = *machine.pattern;
  const PatternWait& wait = pattern.automaton.waits[machine.current.waits[0]];
  const std::array<bool, 256>& leave = pattern.automaton.byteSets[wait.leaveBytes];
  while (pos + 1 < text.size() && !leave[static_cast<unsigned char>(text[pos + 1])] &&
         (matched || !mayStartAt(pattern, text, pos + 1))) {
    ++pos;
  }
  return pos;
}

// Moves every thread of the current list over the byte at `pos` into the next list. Returns
// true if a thread reached the match; threads of lower priority than it are dropped.
bool step(Machine& machine, std::string_view text, std::size_t pos) {
  const Pattern& pattern = *machine.pattern;
  const int nextByte = byteAt(text, pos + 1);
  ThreadList& current = machine.current;
  machine.next.count = 0;
  for (std::size_t i = 0; i < current.count; ++i) {
    const PatternWait& wait = pattern.automaton.waits[current.waits[i]];
    if (wait.isMatch) {
      keepAsBest(machine, recordSlots(machine.records, current.records[i]));
      for (; i < current.count; ++i) {
        release(machine.records, current.records[i]);
      }
      return true;
    }
    addFollows(machine, machine.next, pos + 2, wait.followBegin, wait.followEnd, current.records[i],
               pos + 1, nextByte);
    release(machine.records, current.records[i]);
  }
  return false;
}

// Runs the search from `pos`, the first possible start; on success the match's capture
// slots are in machine.best. Without a finder, only the threads already queued run.
bool runThreads(Machine& machine, StartFinder* finder, std::string_view text, std::size_t pos) {
  const Pattern& pattern = *machine.pattern;
  bool matched = false;
  for (;;) {
    if (!matched && finder != nullptr) {
      if (machine.current.count == 0) {
        pos = nextStart(*finder, pos);
        if (pos == noPosition) {
          return false;
        }
      }
      if (mayStartAt(pattern, text, pos)) {
        startThread(machine, text, pos);
      }
    }
    if (machine.current.count == 0) {
      return matched;
    }
    const PatternWait& leader = pattern.automaton.waits[machine.current.waits[0]];
    if (leader.tail) {
      finishTail(machine, text, pos);
      return true;
    }
    if (machine.current.count == 1 && leader.selfLoop) {
      pos = skipLoop(machine, text, pos, matched || finder == nullptr);
    }
    matched = step(machine, text, pos) || matched;
    if (pos == text.size()) {
      return matched;
    }
    std::swap(machine.current, machine.next);
    ++pos;
  }
}

// ---------------------------------------------------------------------------------------
// Backtracking

// Bits of the record of failed (wait point, position) pairs that fit without allocating.
constexpr std::size_t localVisitBits = 64 * 1024;

// Work left for the backtracker: try a follow at a position, or put back a capture slot
// once everything tried after changing it has failed. Left without initializers so that a
// local array of them costs nothing to create.
struct Attempt {
  std::uint32_t follow;
  bool restore;
  std::size_t pos;    // restore: the slot
  std::size_t value;  // restore: its earlier value
};

// A stack that spills to the heap only when a search goes deep.
struct AttemptStack {
  std::array<Attempt, 256> local;
  std::size_t localCount = 0;
  std::vector<Attempt> heap;
};

void push(AttemptStack& stack, const Attempt& attempt) {
  if (stack.localCount < stack.local.size()) {
    stack.local[stack.localCount++] = attempt;
  } else {
    stack.heap.push_back(attempt);
  }
}

bool pop(AttemptStack& stack, Attempt& attempt) {
  if (!stack.heap.empty()) {
    attempt = stack.heap.back();
    stack.heap.pop_back();
    return true;
  }
  if (stack.localCount == 0) {
    return false;
  }
  attempt = stack.local[--stack.localCount];
  return true;
}

// Depth-first search in priority order, so the first match found is the one a plain
// backtracking matcher finds. A (wait point, position) pair is explored once: if it was
// reached before and the search went on, everything after it failed, and its future does
// not depend on how it was reached. That bounds the work by waits times positions.
struct Backtracker {
  const Pattern* pattern = nullptr;
  std::string_view text;
  std::size_t begin = 0;  // first position that can start a match
  std::size_t span = 0;   // positions from `begin` to the end of the text, both included
  std::array<std::uint64_t, localVisitBits / 64> localVisited;
  std::vector<std::uint64_t> heapVisited;
  std::uint64_t* visited = nullptr;
  AttemptStack attempts;
  std::array<std::size_t, 32> localSlots;
  std::vector<std::size_t> heapSlots;
  std::size_t* slots = nullptr;
  std::size_t slotCount = 0;
};

void initBacktracker(Backtracker& backtracker, const Pattern& pattern, std::string_view text,
                     std::size_t begin) {
  backtracker.pattern = &pattern;
  backtracker.text = text;
  backtracker.begin = begin;
  backtracker.span = text.size() - begin + 1;
  const std::size_t words = (pattern.automaton.waits.size() * backtracker.span + 63) / 64;
  backtracker.visited = backtracker.localVisited.data();
  if (words > backtracker.localVisited.size()) {
    backtracker.heapVisited.resize(words);
    backtracker.visited = backtracker.heapVisited.data();
  }
  std::fill(backtracker.visited, backtracker.visited + words, 0);
  backtracker.slotCount = 2 * (pattern.groupCount + 1);
  backtracker.slots = backtracker.localSlots.data();
  if (backtracker.slotCount > backtracker.localSlots.size()) {
    backtracker.heapSlots.resize(backtracker.slotCount);
    backtracker.slots = backtracker.heapSlots.data();
  }
  std::fill(backtracker.slots, backtracker.slots + backtracker.slotCount, noPosition);
}

// Records a visit; false if the pair was visited before.
bool firstVisit(Backtracker& backtracker, std::uint32_t wait, std::size_t pos) {
  const std::size_t bit = wait * backtracker.span + (pos - backtracker.begin);
  std::uint64_t& word = backtracker.visited[bit / 64];
  const std::uint64_t mask = std::uint64_t(1) << (bit % 64);
  if ((word & mask) != 0) {
    return false;
  }
  word |= mask;
  return true;
}

bool visitedBefore(const Backtracker& backtracker, std::uint32_t wait, std::size_t pos) {
  const std::size_t bit = wait * backtracker.span + (pos - backtracker.begin);
  return (backtracker.visited[bit / 64] & (std::uint64_t(1) << (bit % 64))) != 0;
}

// Stacks follows [begin, end) at `pos` so that the first comes out first, leaving out those
// that would fail at once.
void pushAttempts(Backtracker& backtracker, std::uint32_t begin, std::uint32_t end,
                  std::size_t pos) {
  const Pattern& pattern = *backtracker.pattern;
  const int nextByte = byteAt(backtracker.text, pos);
  for (std::uint32_t follow = end; follow > begin; --follow) {
    const PatternFollow& candidate = pattern.automaton.follows[follow - 1];
    if (survives(pattern, candidate, nextByte) &&
        !visitedBefore(backtracker, candidate.wait, pos)) {
      push(backtracker.attempts, Attempt{follow - 1, false, pos, 0});
    }
  }
}

void applySaves(Backtracker& backtracker, const PatternFollow& follow, std::size_t pos) {
  const Pattern& pattern = *backtracker.pattern;
  for (std::uint32_t save = follow.saveBegin; save < follow.saveEnd; ++save) {
    const std::uint32_t slot = pattern.automaton.saves[save];
    push(backtracker.attempts, Attempt{0, true, slot, backtracker.slots[slot]});
    backtracker.slots[slot] = pos;
  }
}

// In a loop whose only way on is itself while the next byte is not in its leave set: moves
// `pos` to the last byte it consumes before anything else could follow. False if it runs
// into a position explored before.
bool followLoop(Backtracker& backtracker, std::uint32_t waitIndex, std::size_t& pos) {
  const Pattern& pattern = *backtracker.pattern;
  const std::string_view text = backtracker.text;
  const std::array<bool, 256>& leave =
      pattern.automaton.byteSets[pattern.automaton.waits[waitIndex].leaveBytes];
  while (pos + 1 < text.size() && !leave[static_cast<unsigned char>(text[pos + 1])]) {
    ++pos;
    if (!firstVisit(backtracker, waitIndex, pos)) {
      return false;
    }
  }
  return true;
}

// Takes a follow and then, without stacking it, the first follow of each wait point after
// it; the other follows are stacked for later. True once a match is reached.
bool tryFollow(Backtracker& backtracker, std::uint32_t followIndex, std::size_t pos) {
  const Pattern& pattern = *backtracker.pattern;
  const std::string_view text = backtracker.text;
  for (;;) {
    const PatternFollow& follow = pattern.automaton.follows[followIndex];
    const PatternWait& wait = pattern.automaton.waits[follow.wait];
    const bool consumes =
        !wait.isMatch && pos < text.size() &&
        pattern.automaton.byteSets[wait.bytes][static_cast<unsigned char>(text[pos])];
    if (!firstVisit(backtracker, follow.wait, pos) || !(consumes || wait.isMatch)) {
      return false;
    }
    applySaves(backtracker, follow, pos);
    if (wait.isMatch) {
      return true;
    }
    if (wait.tail) {
      // Nothing tried later can win, and this one matches where the loop stops.
      applySaves(backtracker, pattern.automaton.follows[wait.followBegin + 1],
                 tailEnd(pattern.automaton, wait, text, pos));
      return true;
    }
    if (wait.selfLoop && !followLoop(backtracker, follow.wait, pos)) {
      return false;
    }
    pushAttempts(backtracker, wait.followBegin + 1, wait.followEnd, pos + 1);
    followIndex = wait.followBegin;
    ++pos;
  }
}

bool explore(Backtracker& backtracker) {
  Attempt attempt;
  while (pop(backtracker.attempts, attempt)) {
    if (attempt.restore) {
      backtracker.slots[attempt.pos] = attempt.value;
    } else if (tryFollow(backtracker, attempt.follow, attempt.pos)) {
      return true;
    }
  }
  return false;
}

// On success the match's capture slots are in backtracker.slots.
bool backtrackFromEachStart(Backtracker& backtracker, StartFinder& finder) {
  const Pattern& pattern = *backtracker.pattern;
  for (std::size_t start = backtracker.begin; start != noPosition;
       start = nextStart(finder, start + 1)) {
    pushAttempts(backtracker, pattern.automaton.startBegin, pattern.automaton.startEnd, start);
    if (explore(backtracker)) {
      return true;
    }
  }
  return false;
}

void fillMatch(const std::size_t* slots, std::size_t slotCount, PatternMatch& match) {
  match.groups.assign(slotCount / 2, PatternMatch::Group());
  for (std::size_t group = 0; group < match.groups.size(); ++group) {
    const std::size_t begin = slots[2 * group];
    const std::size_t end = slots[2 * group + 1];
    if (begin != noPosition && end != noPosition) {
      match.groups[group] = PatternMatch::Group{true, begin, end};
    }
  }
}

// ---------------------------------------------------------------------------------------
// Backward scan

// Beyond this many states the table is dropped and rebuilt as needed; each byte still
// costs at most one state computation, so time stays linear.
constexpr std::size_t maxScanStates = 1024;

// A deterministic automaton built lazily from the reversed rest. A state is the set of
// wait points that its threads are at, one thread for each place the rest could end.
struct ScanStates {
  const PatternAutomaton* automaton = nullptr;
  std::size_t classCount = 0;
  std::vector<std::uint32_t> startSet;
  std::map<std::vector<std::uint32_t>, std::uint32_t> ids;
  std::vector<const std::vector<std::uint32_t>*> sets;  // per state: its key in `ids`
  std::vector<char> accepting;
  // Per state and byte class: -1 until computed, else the target's first entry here times
  // two, plus one if the target accepts; so reading a byte takes one load.
  std::vector<std::int32_t> next;
  std::vector<std::size_t> marks;  // per wait point, while building a set
  std::size_t stamp = 0;
  std::vector<std::uint32_t> building;
};

void addTargets(ScanStates& scan, std::uint32_t begin, std::uint32_t end) {
  for (std::uint32_t i = begin; i < end; ++i) {
    const std::uint32_t wait = scan.automaton->follows[i].wait;
    if (scan.marks[wait] != scan.stamp) {
      scan.marks[wait] = scan.stamp;
      scan.building.push_back(wait);
    }
  }
}

std::uint32_t stateOf(ScanStates& scan, const std::vector<std::uint32_t>& set) {
  const auto found = scan.ids.find(set);
  if (found != scan.ids.end()) {
    return found->second;
  }
  const auto id = static_cast<std::uint32_t>(scan.sets.size());
  const auto inserted = scan.ids.emplace(set, id).first;
  scan.sets.push_back(&inserted->first);
  const bool accepts = std::any_of(set.begin(), set.end(), [&scan](std::uint32_t wait) {
    return scan.automaton->waits[wait].isMatch;
  });
  scan.accepting.push_back(accepts ? 1 : 0);
  scan.next.resize(scan.next.size() + scan.classCount, -1);
  return id;
}

void initScanStates(ScanStates& scan, const PatternAutomaton& automaton) {
  scan.automaton = &automaton;
  scan.classCount = automaton.classByte.size();
  scan.marks.assign(automaton.waits.size(), 0);
  ++scan.stamp;
  addTargets(scan, automaton.startBegin, automaton.startEnd);
  std::sort(scan.building.begin(), scan.building.end());
  scan.startSet = scan.building;
}

std::int32_t encode(const ScanStates& scan, std::uint32_t state) {
  return static_cast<std::int32_t>((state * scan.classCount) << 1 | scan.accepting[state]);
}

// The entry for reading a byte of class `byteClass` in `state`; a new thread starts after
// every byte, since the rest may end anywhere.
std::int32_t computeNext(ScanStates& scan, std::uint32_t state, std::size_t byteClass) {
  const PatternAutomaton& automaton = *scan.automaton;
  const std::uint8_t byte = automaton.classByte[byteClass];
  ++scan.stamp;
  scan.building.clear();
  for (const std::uint32_t wait : *scan.sets[state]) {
    const PatternWait& at = automaton.waits[wait];
    if (!at.isMatch && automaton.byteSets[at.bytes][byte]) {
      addTargets(scan, at.followBegin, at.followEnd);
    }
  }
  addTargets(scan, automaton.startBegin, automaton.startEnd);
  std::sort(scan.building.begin(), scan.building.end());
  if (scan.sets.size() >= maxScanStates && scan.ids.count(scan.building) == 0) {
    scan.ids.clear();
    scan.sets.clear();
    scan.accepting.clear();
    scan.next.clear();
    return encode(scan, stateOf(scan, scan.building));
  }
  const std::int32_t entry = encode(scan, stateOf(scan, scan.building));
  scan.next[state * scan.classCount + byteClass] = entry;
  return entry;
}

// The last position in [begin, end] where the rest matches text that ends by `end`, or
// noPosition.
std::size_t lastRestStart(ScanStates& scan, std::string_view text, std::size_t begin,
                          std::size_t end) {
  const std::uint32_t start = stateOf(scan, scan.startSet);
  if (scan.accepting[start] != 0) {
    return end;
  }
  const std::array<std::uint8_t, 256>& byteClass = scan.automaton->byteClass;
  std::size_t row = start * scan.classCount;
  for (std::size_t pos = end; pos > begin; --pos) {
    const std::size_t readClass = byteClass[static_cast<unsigned char>(text[pos - 1])];
    std::int32_t entry = scan.next[row + readClass];
    if (entry < 0) {
      entry = computeNext(scan, static_cast<std::uint32_t>(row / scan.classCount), readClass);
    }
    if ((entry & 1) != 0) {
      return pos - 1;
    }
    row = static_cast<std::size_t>(entry >> 1);
  }
  return noPosition;
}

// Matches the rest at `restStart`, the loop having taken [runStart, restStart); `text` ends
// where the run does. The scan found that the rest matches there and nowhere later.
bool matchRest(const Pattern& pattern, std::string_view text, std::size_t runStart,
               std::size_t restStart, bool byThreads, PatternMatch& match) {
  const PatternAutomaton& automaton = pattern.automaton;
  const PatternFollow& toLoop = automaton.follows[automaton.startBegin];
  const PatternWait& loop = automaton.waits[pattern.backward.loopWait];
  if (!byThreads && automaton.waits.size() * (text.size() - restStart + 1) <= localVisitBits) {
    Backtracker backtracker;
    initBacktracker(backtracker, pattern, text, restStart);
    for (std::uint32_t save = toLoop.saveBegin; save < toLoop.saveEnd; ++save) {
      backtracker.slots[automaton.saves[save]] = runStart;
    }
    pushAttempts(backtracker, loop.followBegin + 1, loop.followEnd, restStart);
    if (!explore(backtracker)) {
      return false;
    }
    fillMatch(backtracker.slots, backtracker.slotCount, match);
    return true;
  }
  Machine machine;
  initMachine(machine, pattern);
  const std::size_t record = copyRecord(machine.records, machine.blank);
  for (std::uint32_t save = toLoop.saveBegin; save < toLoop.saveEnd; ++save) {
    recordSlots(machine.records, record)[automaton.saves[save]] = runStart;
  }
  addFollows(machine, machine.current, restStart + 1, loop.followBegin + 1, loop.followEnd, record,
             restStart, byteAt(text, restStart));
  release(machine.records, record);
  if (!runThreads(machine, nullptr, text, restStart)) {
    return false;
  }
  fillMatch(machine.best, machine.records.slotCount, match);
  return true;
}

// Tries each run of loop bytes that may hold a match, in order.
bool searchBackward(const Pattern& pattern, std::string_view text, StartFinder& finder,
                    std::size_t runStart, bool byThreads, PatternMatch& match) {
  const std::array<bool, 256>& loopBytes = pattern.backward.loopBytes;
  ScanStates scan;
  initScanStates(scan, pattern.backward.reversedRest);
  const bool takesAll = std::all_of(loopBytes.begin(), loopBytes.end(), [](bool in) { return in; });
  while (runStart != noPosition) {
    std::size_t runEnd = takesAll ? text.size() : runStart;
    while (runEnd < text.size() && loopBytes[static_cast<unsigned char>(text[runEnd])]) {
      ++runEnd;
    }
    const std::size_t restStart = lastRestStart(scan, text, runStart, runEnd);
    if (restStart != noPosition) {
      return matchRest(pattern, text.substr(0, runEnd), runStart, restStart, byThreads, match);
    }
    runStart = runEnd < text.size() ? nextStart(finder, runEnd + 1) : noPosition;
  }
  return false;
}

// ---------------------------------------------------------------------------------------
// Choosing a method

PatternMethod chooseMethod(const Pattern& pattern, std::string_view text, std::size_t begin,
                           PatternMethod requested) {
  if (requested != PatternMethod::automatic && requested != PatternMethod::backwardScan) {
    return requested;
  }
  const bool small = pattern.automaton.waits.size() * (text.size() - begin + 1) <= localVisitBits;
  if (pattern.backward.usable && (requested == PatternMethod::backwardScan || !small)) {
    return PatternMethod::backwardScan;
  }
  return small ? PatternMethod::backtracking : PatternMethod::threads;
}

bool searchByBacktracking(const Pattern& pattern, std::string_view text, StartFinder& finder,
                          std::size_t begin, PatternMatch& match) {
  Backtracker backtracker;
  initBacktracker(backtracker, pattern, text, begin);
  if (!backtrackFromEachStart(backtracker, finder)) {
    return false;
  }
  fillMatch(backtracker.slots, backtracker.slotCount, match);
  return true;
}

bool searchWithThreads(const Pattern& pattern, std::string_view text, StartFinder& finder,
                       std::size_t begin, PatternMatch& match) {
  Machine machine;
  initMachine(machine, pattern);
  if (!runThreads(machine, &finder, text, begin)) {
    return false;
  }
  fillMatch(machine.best, machine.records.slotCount, match);
  return true;
}

}  // namespace

Pattern compilePattern(std::string_view expression) {
  Parser parser;
  parser.expression = expression;
  const Node root = parseExpression(parser);
  Pattern pattern;
  pattern.expression = std::string(expression);
  pattern.groupCount = parser.groupCount;
  buildAutomaton(emitProgram(root), pattern.automaton);
  pattern.start = analyzeStart(root);
  prepareBackwardScan(root, pattern);
  return pattern;
}

bool searchPattern(const Pattern& pattern, std::string_view text, PatternMatch& match,
                   PatternMethod method) {
  match.groups.clear();
  if (pattern.automaton.waits.empty()) {
    return false;  // not compiled
  }
  StartFinder finder = makeStartFinder(pattern, text);
  if (!anyLiteralFound(finder)) {
    return false;
  }
  const std::size_t begin = nextStart(finder, 0);
  if (begin == noPosition) {
    return false;
  }
  switch (chooseMethod(pattern, text, begin, method)) {
    case PatternMethod::backwardScan:
      return searchBackward(pattern, text, finder, begin, method == PatternMethod::backwardScan,
                            match);
    case PatternMethod::backtracking:
      return searchByBacktracking(pattern, text, finder, begin, match);
    default:
      return searchWithThreads(pattern, text, finder, begin, match);
  }
}

std::string groupText(std::string_view text, const PatternMatch& match, std::size_t group) {
  if (group >= match.groups.size() || !match.groups[group].matched) {
    return std::string();
  }
  const PatternMatch::Group& found = match.groups[group];
  return std::string(text.substr(found.begin, found.end - found.begin));
}
