#include "demo/ScriptParser.h"

#include "platform/FatalError.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void ParseLine(TParser& parser, const std::string& line) {
  std::string rest = line;
  const size_t comment = rest.find("//");
  if (comment != std::string::npos) rest.erase(comment);

  parser.Tokens.clear();
  size_t start = 0;
  for (;;) {
    const size_t blank = rest.find(' ', start);
    if (blank == std::string::npos) break;
    if (blank > start) parser.Tokens.push_back(rest.substr(start, blank - start));
    start = blank + 1;
  }
  // The remainder is always kept, even when empty.
  parser.Tokens.push_back(rest.substr(start));
}

void ApplyMacros(std::string& line, const std::vector<std::string>& names,
                 const std::vector<std::string>& values) {
  const size_t count = names.size() < values.size() ? names.size() : values.size();
  for (size_t k = 0; k < count; ++k) {
    if (names[k].empty()) continue;
    const size_t at = line.find(names[k]);
    if (at != std::string::npos) line.replace(at, names[k].size(), values[k]);
  }
}

std::string Token(const TVDemoCommand& tokens, size_t n) {
  return n < tokens.size() ? tokens[n] : std::string();
}

std::string ParamText(const TVDemoCommand& tokens, size_t n) {
  std::string text;
  for (size_t i = n; i < tokens.size(); ++i) {
    text += tokens[i];
    text += ' ';
  }
  if (!text.empty()) text.pop_back();
  return text;
}

int32_t ParamInt(const TVDemoCommand& tokens, size_t n) { return TextToInt(ParamText(tokens, n)); }

float ParamFloat(const TVDemoCommand& tokens, size_t n) {
  return TextToFloat(ParamText(tokens, n));
}

bool ParamBool(const TVDemoCommand& tokens, size_t n) {
  std::string text = ParamText(tokens, n);
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text == "true";
}

bool TryTextToInt(const std::string& text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return false;

  // Decimal values must fit a signed 32-bit integer; hexadecimal ones 32 bits, so $FFFFFFFF
  // reads as -1.
  const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = hex ? HexDigitValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
    if (digit < 0) return false;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (magnitude > limit) return false;
  }
  const uint32_t bits = static_cast<uint32_t>(magnitude);
  value = static_cast<int32_t>(negative ? 0u - bits : bits);
  return true;
}

bool TryTextToFloat(const std::string& text, float& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string normal;  // the number in the form from_chars reads: [-]digits[.digits][e[-]digits]
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') normal += '-';
    ++i;
  }
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) {
    normal += text[i++];
    ++digits;
  }
  if (i < text.size() && text[i] == '.') {
    normal += text[i++];
    while (i < text.size() && IsDigit(text[i])) {
      normal += text[i++];
      ++digits;
    }
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    normal += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal += text[i++];
    size_t exponentDigits = 0;
    while (i < text.size() && IsDigit(text[i])) {
      normal += text[i++];
      ++exponentDigits;
    }
    if (exponentDigits == 0) return false;
  }
  while (i < text.size() && text[i] == ' ') ++i;
  if (i != text.size()) return false;

  if (normal.back() == '.') normal.pop_back();  // "5." reads as 5
  if (normal[0] == '.' || (normal[0] == '-' && normal[1] == '.'))
    normal.insert(normal[0] == '-' ? 1 : 0, "0");
  long double parsed = 0;
  const auto result = std::from_chars(normal.data(), normal.data() + normal.size(), parsed);
  if (result.ptr != normal.data() + normal.size()) return false;
  if (result.ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; overflow does not convert.
    if (std::fabs(parsed) > 1.0L) return false;
    parsed = 0;
  } else if (result.ec != std::errc()) {
    return false;
  }
  if (std::fabs(parsed) > static_cast<long double>(std::numeric_limits<float>::max()))
    return false;
  value = static_cast<float>(parsed);
  return true;
}

int32_t TextToInt(const std::string& text) {
  int32_t value = 0;
  if (!TryTextToInt(text, value)) throw FatalError("'" + text + "' is not a valid integer value");
  return value;
}

float TextToFloat(const std::string& text) {
  float value = 0;
  if (!TryTextToFloat(text, value))
    throw FatalError("'" + text + "' is not a valid floating point value");
  return value;
}
