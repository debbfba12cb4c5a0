#include "authoring/SvgText.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kEllipsis = 0x2026;

// Length of the UTF-8 sequence starting at i and its code point; 0 when the bytes there are
// not a valid, shortest-form sequence of a scalar value.
size_t DecodeUtf8(const std::string& text, size_t i, char32_t& code) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(i);
  size_t length = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i + k) & 0x3F);
  }
  const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

// Characters an XML 1.0 document may hold; C1 controls are allowed there but are never meant
// in a script's 8-bit text.
bool AllowedInXml(char32_t c) {
  if (c < 0x20) return c == '\t' || c == '\n' || c == '\r';
  if (c >= 0x7F && c <= 0x9F) return false;
  return c != 0xFFFE && c != 0xFFFF;
}

std::u32string DecodeText(const std::string& raw) {
  std::u32string text;
  for (size_t i = 0; i < raw.size();) {
    char32_t code = 0;
    size_t length = DecodeUtf8(raw, i, code);
    if (length == 0) {
      code = static_cast<uint8_t>(raw[i]);  // Latin-1
      length = 1;
    }
    text += AllowedInXml(code) ? code : kReplacement;
    i += length;
  }
  return text;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string EncodeXml(const std::u32string& text) {
  std::string out;
  for (const char32_t c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      // Kept as characters, a parser would fold line breaks and tabs of an attribute to blanks.
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: AppendUtf8(out, c);
    }
  }
  return out;
}

}  // namespace

std::string XmlText(const std::string& raw) { return EncodeXml(DecodeText(raw)); }

std::string FittedXmlText(const std::string& raw, size_t maxChars) {
  std::u32string text = DecodeText(raw);
  if (text.size() > maxChars) {
    text.resize(maxChars);
    if (maxChars > 0) text.back() = kEllipsis;
  }
  return EncodeXml(text);
}

std::string SvgNumber(double value) {
  if (!std::isfinite(value)) value = 0;
  value = std::fmax(-1e15, std::fmin(1e15, value));  // keeps the tenths within a long long
  const long long tenths = std::llround(value * 10.0);
  const long long whole = (tenths < 0 ? -tenths : tenths) / 10;
  const long long fraction = (tenths < 0 ? -tenths : tenths) % 10;
  return (tenths < 0 ? "-" : "") + std::to_string(whole) + "." + std::to_string(fraction);
}
