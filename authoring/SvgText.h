// Text for SVG pictures: any bytes a script holds (UTF-8, 8-bit text, control characters) made
// into valid, escaped XML text, and labels shortened to the room they have.
#pragma once
#include <cstddef>
#include <string>

// The text as escaped XML character data or attribute value: valid UTF-8 is kept, other bytes
// are read as Latin-1, characters XML does not allow become U+FFFD, and & < > " ' are escaped.
std::string XmlText(const std::string& raw);
// The same, shortened to at most maxChars characters with "…" as its last one when it is cut
// ("" when maxChars is 0).
std::string FittedXmlText(const std::string& raw, size_t maxChars);
// A number with one decimal ("12.5", "-3.0"), the same under every locale.
std::string SvgNumber(double value);
