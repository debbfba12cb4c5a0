// Small text helpers shared by every layer: letter case, and making text safe to quote in a
// message (a script line can hold any byte, a NUL or a CR included).
#pragma once
#include <string>

// The text with ASCII A-Z turned to a-z; other bytes unchanged.
std::string LowerCase(std::string text);
// The text with ASCII a-z turned to A-Z; other bytes unchanged.
std::string UpperCase(std::string text);
// The text with control characters written as escapes: \0, \t, \n, \r, \\ stays as it is,
// other bytes below 32 and 127 as \xNN. Bytes from 128 up are kept (8-bit script text).
std::string PrintableText(const std::string& text);
