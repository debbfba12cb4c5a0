#include "platform/Text.h"

#include <cstdio>

std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string UpperCase(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string PrintableText(const std::string& text) {
  std::string printable;
  printable.reserve(text.size());
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\0': printable += "\\0"; continue;
      case '\t': printable += "\\t"; continue;
      case '\n': printable += "\\n"; continue;
      case '\r': printable += "\\r"; continue;
      default: break;
    }
    if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      printable += escape;
    } else {
      printable += c;
    }
  }
  return printable;
}
