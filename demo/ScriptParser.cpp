#include "demo/ScriptParser.h"

#include "platform/FatalError.h"
#include "platform/Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <string_view>

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
  // Tabs separate like blanks; blanks at the end (before a comment, or left by an editor) are
  // no part of the last argument.
  std::replace(rest.begin(), rest.end(), '\t', ' ');
  while (!rest.empty() && rest.back() == ' ') rest.pop_back();

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

TMacroBudget TMacroBudget::ForScript(size_t scriptBytes) {
  return {kMacroWorkBase + kMacroWorkPerScriptByte * static_cast<uint64_t>(scriptBytes)};
}

bool TMacroBudget::Spend(uint64_t work) {
  if (work > Left) {
    Left = 0;
    return false;
  }
  Left -= work;
  return true;
}

namespace {

constexpr uint64_t kHashBase = 1099511628211ull;  // odd, so every power of it is too
// A window whose hash may be a name's costs a table lookup, a comparison and an insertion: about
// as much as sixteen steps of the rolling scan.
constexpr uint64_t kLookupWork = 16;

// Tries every macro in turn: a search of the whole text per macro.
TMacroResult ApplyEveryMacro(std::string& line, const std::vector<std::string>& names,
                             const std::vector<std::string>& values, TMacroBudget& budget) {
  const size_t count = std::min(names.size(), values.size());
  std::string text = line;
  for (size_t k = 0; k < count; ++k) {
    if (names[k].empty()) continue;
    if (!budget.Spend(text.size() + 1)) return TMacroResult::OverBudget;
    const size_t at = text.find(names[k]);
    if (at == std::string::npos) continue;
    const size_t size = text.size() - names[k].size() + values[k].size();
    if (size > kMaxSubstitutedLine) return TMacroResult::LineTooLong;
    if (!budget.Spend(size)) return TMacroResult::OverBudget;
    text.replace(at, names[k].size(), values[k]);
  }
  line = std::move(text);
  return TMacroResult::Substituted;
}

}  // namespace

uint64_t TMacroIndex::Hash(const char* text, size_t length) {
  uint64_t hash = 0;
  for (size_t i = 0; i < length; ++i) hash = hash * kHashBase + static_cast<unsigned char>(text[i]);
  return hash;
}

void TMacroIndex::Sync(const std::vector<std::string>& names) {
  if (names.size() < indexed_) {
    byHash_.clear();
    lengths_.clear();
    topFactors_.clear();
    firstBytes_.reset();
    hashBits_.reset();
    indexed_ = 0;
  }
  for (; indexed_ < names.size(); ++indexed_) {
    const std::string& name = names[indexed_];
    if (name.empty()) continue;
    const uint64_t hash = Hash(name.data(), name.size());
    byHash_[hash].push_back(indexed_);
    hashBits_.set(hash & 0xFFFF);
    firstBytes_.set(static_cast<unsigned char>(name[0]));
    const auto at = std::lower_bound(lengths_.begin(), lengths_.end(), name.size());
    if (at != lengths_.end() && *at == name.size()) continue;
    uint64_t factor = 1;
    for (size_t i = 1; i < name.size(); ++i) factor *= kHashBase;
    topFactors_.insert(topFactors_.begin() + (at - lengths_.begin()), factor);
    lengths_.insert(at, name.size());
  }
}

TMacroResult ApplyMacros(std::string& line, const std::vector<std::string>& names,
                         const std::vector<std::string>& values, TMacroIndex* indexOrNull,
                         TMacroBudget& budget) {
  if (!indexOrNull) return ApplyEveryMacro(line, names, values, budget);
  TMacroIndex& index = *indexOrNull;
  index.Sync(names);
  const size_t count = std::min(names.size(), values.size());
  // A scan costs a step per start and name length, trying every macro a fast search per macro.
  if (!index.LooksUp(count)) return ApplyEveryMacro(line, names, values, budget);
  std::string text = line;
  // Macros still to try, lowest first: one entry per name that occurs in the text (its lowest
  // macro not yet tried). Entries are checked against the text when taken, since a replacement
  // can remove an occurrence.
  std::set<size_t> pending;
  // The lowest macro >= first named exactly as the text, or count.
  auto next = [&](uint64_t hash, std::string_view name, size_t first) {
    const auto entry = index.byHash_.find(hash);
    if (entry == index.byHash_.end()) return count;
    const std::vector<size_t>& macros = entry->second;
    for (auto k = std::lower_bound(macros.begin(), macros.end(), first); k != macros.end(); ++k)
      if (*k < count && names[*k] == name) return *k;
    return count;
  };
  // Adds the macros named by the text in every window that ends after `changed` and starts at
  // or before `to`. The hash of each window rolls on from the one before, so a length costs one
  // step per start whatever it is; starts whose byte begins no name are not looked up. False
  // when the budget cannot pay for the windows.
  const std::bitset<256>& firstBytes = index.firstBytes_;
  const std::bitset<65536>& hashBits = index.hashBits_;
  auto scan = [&](size_t changed, size_t to, size_t first) {
    const std::string_view view(text);
    for (size_t n = 0; n < index.lengths_.size(); ++n) {
      const size_t length = index.lengths_[n];
      if (length > view.size()) break;
      const size_t from = changed + 1 > length ? changed + 1 - length : 0;
      const size_t last = std::min(to, view.size() - length);
      if (from > last) continue;
      if (!budget.Spend(last - from + length)) return false;
      uint64_t hash = TMacroIndex::Hash(view.data() + from, length);
      for (size_t start = from;; ++start) {
        if (hashBits[hash & 0xFFFF] && firstBytes[static_cast<unsigned char>(view[start])]) {
          if (!budget.Spend(kLookupWork)) return false;
          const size_t k = next(hash, view.substr(start, length), first);
          if (k < count) pending.insert(k);
        }
        if (start >= last) break;
        hash = (hash - static_cast<unsigned char>(view[start]) * index.topFactors_[n]) * kHashBase +
               static_cast<unsigned char>(view[start + length]);
      }
    }
    return true;
  };
  if (!scan(0, text.size(), 0)) return TMacroResult::OverBudget;
  while (!pending.empty()) {
    const size_t k = *pending.begin();
    pending.erase(pending.begin());
    const std::string& name = names[k];
    if (!budget.Spend(text.size() + 1)) return TMacroResult::OverBudget;
    const size_t at = text.find(name);
    if (at == std::string::npos) continue;
    const std::string& value = values[k];
    const size_t size = text.size() - name.size() + value.size();
    if (size > kMaxSubstitutedLine) return TMacroResult::LineTooLong;
    // The copy, and the search below for the name again.
    if (!budget.Spend(2 * size)) return TMacroResult::OverBudget;
    text.replace(at, name.size(), value);
    // Names that the inserted value makes appear: every window that overlaps it or straddles
    // the join, for the macros after k.
    if (at + value.size() >= 1 && !scan(at, at + value.size() - 1, k + 1))
      return TMacroResult::OverBudget;
    // The same name may be registered again later and still occur.
    if (text.find(name) != std::string::npos) {
      const size_t again = next(TMacroIndex::Hash(name.data(), name.size()), name, k + 1);
      if (again < count) pending.insert(again);
    }
  }
  line = std::move(text);
  return TMacroResult::Substituted;
}

bool ApplyMacros(std::string& line, const std::vector<std::string>& names,
                 const std::vector<std::string>& values) {
  TMacroBudget unbounded{UINT64_MAX};
  return ApplyMacros(line, names, values, nullptr, unbounded) == TMacroResult::Substituted;
}

bool ApplyMacros(std::string& line, const std::vector<std::string>& names,
                 const std::vector<std::string>& values, TMacroIndex& index) {
  TMacroBudget unbounded{UINT64_MAX};
  return ApplyMacros(line, names, values, &index, unbounded) == TMacroResult::Substituted;
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
  return LowerCase(ParamText(tokens, n)) == "true";
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

namespace {

// The power of ten of the first significant digit of a number in the form TryTextToFloat
// normalises to ([-]digits[.digits][e[-]digits]); the exponent is capped, far past any range.
long DecimalExponent(const std::string& number) {
  const size_t e = number.find('e');
  const std::string mantissa = number.substr(0, e);
  long exponent = 0;
  if (e != std::string::npos) {
    size_t i = e + 1;
    const bool negative = i < number.size() && number[i] == '-';
    if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
    for (; i < number.size(); ++i) exponent = std::min(exponent * 10 + (number[i] - '0'), 1000000L);
    if (negative) exponent = -exponent;
  }
  const size_t point = std::min(mantissa.find('.'), mantissa.size());
  const size_t first = mantissa.find_first_of("123456789");
  if (first == std::string::npos) return -1000000;  // zero
  const long position = first < point ? static_cast<long>(point - first) - 1
                                      : -static_cast<long>(first - point);
  return position + exponent;
}

}  // namespace

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
    // Underflow reads as zero; overflow does not convert. The value is left unset then (some
    // libraries set it anyway), so the number's own decimal exponent tells which.
    if (DecimalExponent(normal) > 0) return false;
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
  if (!TryTextToInt(text, value))
    throw FatalError("'" + PrintableText(text) + "' is not a valid integer value");
  return value;
}

float TextToFloat(const std::string& text) {
  float value = 0;
  if (!TryTextToFloat(text, value))
    throw FatalError("'" + PrintableText(text) + "' is not a valid floating point value");
  return value;
}
