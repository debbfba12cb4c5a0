// Reading script lines: macro substitution, tokenising, and the argument accessors with their
// strict number conversions. A conversion that fails throws FatalError with the run-time's
// message ("'%s' is not a valid integer value" / "... floating point value").
#pragma once
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// The tokens of one script line: token 0 is the command word.
using TVDemoCommand = std::vector<std::string>;

// Holds the tokens of the line being executed; one parser serves a whole script read.
struct TParser {
  TVDemoCommand Tokens;
};

// Splits a line into tokens: "//" starts a comment, blanks and tabs separate, blanks at the end
// are dropped, and the remainder is always the last token (empty for an empty line).
void ParseLine(TParser& parser, const std::string& line);

// The longest a line may become by macro substitution (1 MiB): values that contain earlier
// macros can double a line on every REGISTER.
constexpr size_t kMaxSubstitutedLine = size_t{1} << 20;

// What substituting macros may cost one read of a script, in bytes searched, scanned and
// copied: a base for any script plus a share per byte of it, so that reading stays linear in the
// script's size whatever its macros do (names hidden in their own values can make every line grow
// toward kMaxSubstitutedLine). One budget serves every line of a read.
struct TMacroBudget {
  uint64_t Left = 0;
  // The budget of a script of that many bytes.
  static TMacroBudget ForScript(size_t scriptBytes);
  // Takes work from the budget; false, and the budget empty, when it holds less.
  bool Spend(uint64_t work);
};
constexpr uint64_t kMacroWorkBase = uint64_t{32} << 20;
constexpr uint64_t kMacroWorkPerScriptByte = 32;

enum class TMacroResult {
  Substituted,  // the line holds the substituted text
  LineTooLong,  // it would pass kMaxSubstitutedLine: the line is left as it was
  OverBudget,   // the budget ran out: the line is left as it was
};

// Finds the macros whose names occur in a line without trying every macro in turn, so that a
// script of many REGISTER lines reads in linear time. It follows the name list by its length:
// entries appended since the last call are added, a shorter list is indexed again; so the list
// may change between two calls only by appending or by removing entries (what REGISTER and
// UNREGISTER do), not by both at once.
class TMacroIndex {
 public:
  // Brings the index up to date with the name list.
  void Sync(const std::vector<std::string>& names);
  // True when ApplyMacros with this (synced) index looks names up for a table of that many
  // macros; false when it tries every macro in turn, which is quicker with few macros a length.
  bool LooksUp(size_t macroCount) const { return lengths_.size() * 8 <= macroCount; }
 private:
  // Polynomial hash of a text, the one that rolls along a line one byte at a time.
  static uint64_t Hash(const char* text, size_t length);

  std::unordered_map<uint64_t, std::vector<size_t>> byHash_;  // name hash -> macros, ascending
  std::vector<size_t> lengths_;       // distinct name lengths, ascending
  std::vector<uint64_t> topFactors_;  // for each length n, the hash factor of a window's first byte
  std::bitset<256> firstBytes_;       // the bytes names start with
  std::bitset<65536> hashBits_;       // bit (hash & 0xFFFF) of every name: most windows stop here
  size_t indexed_ = 0;                                      // names indexed so far

  friend TMacroResult ApplyMacros(std::string& line, const std::vector<std::string>& names,
                                  const std::vector<std::string>& values, TMacroIndex* index,
                                  TMacroBudget& budget);
};

// Replaces, for each macro in order, the first occurrence of its name in the line by its value.
// A value inserted by macro k is searched by macros k + 1 onwards only. With an index only the
// macros whose names occur in the line are looked up; without one every macro is tried. The work
// is taken from the budget as it is done.
TMacroResult ApplyMacros(std::string& line, const std::vector<std::string>& names,
                         const std::vector<std::string>& values, TMacroIndex* index,
                         TMacroBudget& budget);
// The same without a bound on the work (lines the caller knows); false, and the line left as it
// was, when the result would be longer than kMaxSubstitutedLine.
bool ApplyMacros(std::string& line, const std::vector<std::string>& names,
                 const std::vector<std::string>& values);
bool ApplyMacros(std::string& line, const std::vector<std::string>& names,
                 const std::vector<std::string>& values, TMacroIndex& index);

// Token n, or empty text when the line has no token n.
std::string Token(const TVDemoCommand& tokens, size_t n);
// The tokens from n to the last, joined by single blanks (empty when n is past the end).
std::string ParamText(const TVDemoCommand& tokens, size_t n);
// ParamText converted to a signed 32-bit integer.
int32_t ParamInt(const TVDemoCommand& tokens, size_t n);
// ParamText converted to a 32-bit float.
float ParamFloat(const TVDemoCommand& tokens, size_t n);
// True when ParamText in lower case is "true".
bool ParamBool(const TVDemoCommand& tokens, size_t n);

// Integer conversion: optional blanks, sign, decimal digits or hex after '$', 'x' or '0x'
// (any case), and nothing after the digits.
bool TryTextToInt(const std::string& text, int32_t& value);
// Float conversion: blanks, sign, digits with optional '.' fraction and exponent, blanks.
// The separator is always '.', whatever the locale.
bool TryTextToFloat(const std::string& text, float& value);
// As above, throwing FatalError with the run-time's message on failure.
int32_t TextToInt(const std::string& text);
float TextToFloat(const std::string& text);
