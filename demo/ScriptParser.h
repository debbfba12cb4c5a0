// Reading script lines: macro substitution, tokenising, and the argument accessors with their
// strict number conversions. A conversion that fails throws FatalError with the run-time's
// message ("'%s' is not a valid integer value" / "... floating point value").
#pragma once
#include <cstdint>
#include <string>
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
// Replaces, for each macro in order, the first occurrence of its name in the line by its value.
void ApplyMacros(std::string& line, const std::vector<std::string>& names,
                 const std::vector<std::string>& values);

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
