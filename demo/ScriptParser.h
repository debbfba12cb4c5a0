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

// Splits a line into tokens: "//" starts a comment, only the blank separates, empty tokens are
// dropped except the last one (a line ending in a blank yields a final empty token).
void ParseLine(TParser& parser, const std::string& line);

// The longest a line may become by macro substitution (1 MiB): values that contain earlier
// macros can double a line on every REGISTER.
constexpr size_t kMaxSubstitutedLine = size_t{1} << 20;

// Finds the macros whose names occur in a line without trying every macro in turn, so that a
// script of many REGISTER lines reads in linear time. It follows the name list by its length:
// entries appended since the last call are added, a shorter list is indexed again; so the list
// may change between two calls only by appending or by removing entries (what REGISTER and
// UNREGISTER do), not by both at once.
class TMacroIndex {
 public:
  // Brings the index up to date with the name list.
  void Sync(const std::vector<std::string>& names);
 private:
  // Polynomial hash of a text, the one that rolls along a line one byte at a time.
  static uint64_t Hash(const char* text, size_t length);

  std::unordered_map<uint64_t, std::vector<size_t>> byHash_;  // name hash -> macros, ascending
  std::vector<size_t> lengths_;       // distinct name lengths, ascending
  std::vector<uint64_t> topFactors_;  // for each length n, the hash factor of a window's first byte
  std::bitset<256> firstBytes_;       // the bytes names start with
  std::bitset<65536> hashBits_;       // bit (hash & 0xFFFF) of every name: most windows stop here
  size_t indexed_ = 0;                                      // names indexed so far

  friend bool ApplyMacros(std::string& line, const std::vector<std::string>& names,
                          const std::vector<std::string>& values, TMacroIndex& index);
};

// Replaces, for each macro in order, the first occurrence of its name in the line by its value.
// A value inserted by macro k is searched by macros k + 1 onwards only. False, and the line left
// as it was, when the result would be longer than kMaxSubstitutedLine.
bool ApplyMacros(std::string& line, const std::vector<std::string>& names,
                 const std::vector<std::string>& values);
// The same result, looking up only the macros whose names occur in the line.
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
