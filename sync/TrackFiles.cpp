#include "sync/TrackFiles.h"

#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

namespace {

// Deeper nesting than any editor writes; the bound keeps the open-element stack small.
constexpr size_t kMaxDepth = 256;

const char* const kTypeRange = "types are 0..3 (step, linear, smooth, ramp)";

// An element or attribute name as messages show it: at most 40 bytes.
std::string Shown(std::string_view name) {
  return name.size() > 40 ? std::string(name.substr(0, 40)) + "..." : std::string(name);
}

// What did not read, quoted, as messages show it.
std::string Quoted(std::string_view text) { return "\"" + Shown(text) + "\""; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool ReadWhole(std::string_view text, long long& out) {
  text = Trimmed(text);
  const char* end = text.data() + text.size();
  const auto read = std::from_chars(text.data(), end, out);
  return !text.empty() && read.ec == std::errc() && read.ptr == end;
}

// A value as a float, rounded once from its decimal form so that 9 significant digits read back
// exactly; values below the smallest float read through double.
bool ReadFloat(std::string_view text, float& out) {
  text = Trimmed(text);
  const char* end = text.data() + text.size();
  const auto read = std::from_chars(text.data(), end, out);
  if (text.empty() || read.ptr != end) return false;
  if (read.ec == std::errc::result_out_of_range) {
    double wide = 0.0;
    const auto again = std::from_chars(text.data(), end, wide);
    if (again.ec != std::errc() || again.ptr != end || !(std::fabs(wide) <= 1.0)) return false;
    out = static_cast<float>(wide);
    return true;
  }
  return read.ec == std::errc() && std::isfinite(out);
}

void AppendUtf8(uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Attribute text with its entities replaced; false with the entity that does not read.
bool DecodeEntities(std::string_view raw, std::string& out, std::string& bad) {
  out.clear();
  size_t at = 0;
  while (at < raw.size()) {
    const size_t amp = raw.find('&', at);
    out.append(raw.substr(at, amp == std::string_view::npos ? std::string_view::npos : amp - at));
    if (amp == std::string_view::npos) break;
    const size_t semi = raw.find(';', amp);
    const std::string_view entity =
        raw.substr(amp + 1, semi == std::string_view::npos ? 0 : semi - amp - 1);
    if (semi == std::string_view::npos || entity.empty() || entity.size() > 10) {
      bad = std::string(raw.substr(amp, 12));
      return false;
    }
    if (entity == "amp") out += '&';
    else if (entity == "lt") out += '<';
    else if (entity == "gt") out += '>';
    else if (entity == "quot") out += '"';
    else if (entity == "apos") out += '\'';
    else if (entity[0] == '#') {
      const bool hex = entity.size() > 1 && (entity[1] == 'x' || entity[1] == 'X');
      const std::string_view digits = entity.substr(hex ? 2 : 1);
      uint32_t code = 0;
      const auto read = std::from_chars(digits.data(), digits.data() + digits.size(), code,
                                        hex ? 16 : 10);
      if (digits.empty() || read.ec != std::errc() || read.ptr != digits.data() + digits.size() ||
          code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        bad = "&" + std::string(entity) + ";";
        return false;
      }
      AppendUtf8(code, out);
    } else {
      bad = "&" + std::string(entity) + ";";
      return false;
    }
    at = semi + 1;
  }
  return true;
}

bool EndsName(char c) {
  return IsSpace(c) || c == '/' || c == '>' || c == '=' || c == '<' || c == '"' || c == '\'';
}

// The attributes of one tag the reader uses; the others are only checked for form.
struct TTagAttributes {
  std::string_view Name, Row, Value, Interpolation, Rows, RowsPerBeat;
  bool HasName = false, HasRow = false, HasValue = false, HasInterpolation = false,
       HasRows = false, HasRowsPerBeat = false;
};

// A tolerant one-pass reader of the XML the sync editors write: elements, attributes, comments,
// declarations and CDATA; text between elements is skipped.
class TRocketReader {
public:
  TRocketReader(std::string_view text, TRocketFile& out) : text_(text), out_(out) {}

  bool Read(std::string& error) {
    const bool read = ReadAll();
    if (!read) error = "line " + std::to_string(LineAt(errorAt_)) + ": " + error_;
    return read;
  }

private:
  struct TOpen {
    std::string_view Name;
    size_t At;
  };

  const std::string_view text_;
  TRocketFile& out_;
  size_t pos_ = 0;
  std::vector<TOpen> open_;
  // The track whose keys are being read (between <track> and </track>).
  TKeyedTrack* track_ = nullptr;
  size_t trackAt_ = 0;
  std::vector<TTrackKey> keys_;
  std::string decoded_;
  std::string error_;
  size_t errorAt_ = 0;

  size_t LineAt(size_t at) const {
    const auto end = text_.begin() + std::min(at, text_.size());
    return 1 + static_cast<size_t>(std::count(text_.begin(), end, '\n'));
  }
  bool Fail(size_t at, std::string message) {
    errorAt_ = at;
    error_ = std::move(message);
    return false;
  }
  bool StartsAt(size_t at, const char* prefix) const {
    return text_.compare(at, std::strlen(prefix), prefix) == 0;
  }
  bool SkipPast(const char* end, const char* what) {
    const size_t start = pos_;
    const size_t found = text_.find(end, pos_);
    if (found == std::string_view::npos) return Fail(start, std::string(what) + " is never closed");
    pos_ = found + std::strlen(end);
    return true;
  }
  void SkipSpace() {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
  }
  std::string_view ReadName() {
    const size_t start = pos_;
    while (pos_ < text_.size() && !EndsName(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  bool ReadAll() {
    bool sawTracks = false;
    const size_t nul = text_.find('\0');
    if (nul != std::string_view::npos)
      return Fail(nul, "a NUL byte: not a .rocket track file");
    while (true) {
      pos_ = text_.find('<', pos_);
      if (pos_ == std::string_view::npos) break;
      bool ok = true;
      if (StartsAt(pos_, "<!--")) ok = SkipPast("-->", "a comment");
      else if (StartsAt(pos_, "<![CDATA[")) ok = SkipPast("]]>", "a CDATA section");
      else if (StartsAt(pos_, "<?")) ok = SkipPast("?>", "a declaration");
      else if (StartsAt(pos_, "<!")) ok = SkipPast(">", "a declaration");
      else if (StartsAt(pos_, "</")) ok = ReadEndTag();
      else ok = ReadStartTag(sawTracks);
      if (!ok) return false;
    }
    if (!open_.empty())
      return Fail(open_.back().At, "<" + Shown(open_.back().Name) + "> is never closed");
    if (!sawTracks)
      return Fail(text_.size(), "no <sync> or <tracks> element: not a .rocket track file");
    return true;
  }

  bool ReadEndTag() {
    const size_t at = pos_;
    pos_ += 2;
    const std::string_view name = ReadName();
    SkipSpace();
    if (pos_ >= text_.size() || text_[pos_] != '>')
      return Fail(at, "the end tag </" + Shown(name) + " is not closed by '>'");
    ++pos_;
    if (open_.empty())
      return Fail(at, "</" + Shown(name) + "> closes nothing");
    if (open_.back().Name != name)
      return Fail(at, "</" + Shown(name) + "> closes <" + Shown(open_.back().Name) +
                          "> opened on line " + std::to_string(LineAt(open_.back().At)));
    open_.pop_back();
    if (name == "track") FinishTrack();
    return true;
  }

  bool ReadAttributes(size_t at, std::string_view element, TTagAttributes& attributes,
                      bool& selfClosing) {
    while (true) {
      SkipSpace();
      if (pos_ >= text_.size())
        return Fail(at, "<" + Shown(element) + " is not closed by '>'");
      if (text_[pos_] == '>') {
        ++pos_;
        return true;
      }
      if (StartsAt(pos_, "/>")) {
        pos_ += 2;
        selfClosing = true;
        return true;
      }
      const size_t nameAt = pos_;
      const std::string_view name = ReadName();
      if (pos_ >= text_.size() || text_[pos_] == '<')
        return Fail(at, "<" + Shown(element) + " is not closed by '>'");
      if (name.empty())
        return Fail(nameAt, "unexpected " + Quoted(text_.substr(pos_, 1)) +
                                " in <" + Shown(element) + ">");
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != '=')
        return Fail(nameAt, "attribute " + Shown(name) + " of <" + Shown(element) +
                                "> has no '=' and value");
      ++pos_;
      SkipSpace();
      if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\''))
        return Fail(nameAt, "attribute " + Shown(name) + " of <" + Shown(element) +
                                "> has no quoted value");
      const char quote = text_[pos_++];
      const size_t close = text_.find(quote, pos_);
      // '<' cannot stand in a value: one there means the quote was never closed.
      if (close == std::string_view::npos ||
          text_.substr(pos_, close - pos_).find('<') != std::string_view::npos)
        return Fail(nameAt, "the value of attribute " + Shown(name) + " of <" +
                                Shown(element) + "> is never closed");
      const std::string_view value = text_.substr(pos_, close - pos_);
      pos_ = close + 1;
      if (name == "name") attributes.Name = value, attributes.HasName = true;
      else if (name == "row") attributes.Row = value, attributes.HasRow = true;
      else if (name == "value") attributes.Value = value, attributes.HasValue = true;
      else if (name == "interpolation")
        attributes.Interpolation = value, attributes.HasInterpolation = true;
      else if (name == "rows") attributes.Rows = value, attributes.HasRows = true;
      else if (name == "rowsPerBeat")
        attributes.RowsPerBeat = value, attributes.HasRowsPerBeat = true;
    }
  }

  bool ReadStartTag(bool& sawTracks) {
    const size_t at = pos_;
    ++pos_;
    const std::string_view element = ReadName();
    if (element.empty()) return Fail(at, "'<' is not followed by an element name");
    TTagAttributes attributes;
    bool selfClosing = false;
    if (!ReadAttributes(at, element, attributes, selfClosing)) return false;
    if (element == "track") {
      if (!OpenTrack(at, attributes)) return false;
      if (selfClosing) FinishTrack();
    } else if (element == "key") {
      if (!ReadKey(at, attributes)) return false;
    } else if (element == "sync" || element == "tracks") {
      sawTracks = true;
      if (attributes.HasRows && !ReadCount(at, "rows", attributes.Rows, out_.Rows)) return false;
      if (attributes.HasRowsPerBeat &&
          !ReadCount(at, "rowsPerBeat", attributes.RowsPerBeat, out_.RowsPerBeat))
        return false;
    }
    if (selfClosing) return true;
    if (open_.size() >= kMaxDepth)
      return Fail(at, "elements nest deeper than " + std::to_string(kMaxDepth));
    open_.push_back({element, at});
    return true;
  }

  bool ReadCount(size_t at, const char* what, std::string_view text, int& out) {
    long long value = 0;
    if (!ReadWhole(text, value) || value < 0 || value > std::numeric_limits<int>::max())
      return Fail(at, std::string(what) + " " + Quoted(text) + " is not a whole number of rows");
    out = static_cast<int>(value);
    return true;
  }

  bool OpenTrack(size_t at, const TTagAttributes& attributes) {
    if (track_)
      return Fail(at, "a track inside track \"" + track_->Name + "\" (opened on line " +
                          std::to_string(LineAt(trackAt_)) + ")");
    if (!attributes.HasName) return Fail(at, "a track without a name");
    std::string bad;
    if (!DecodeEntities(attributes.Name, decoded_, bad))
      return Fail(at, "the track name has the unknown entity " + Quoted(bad));
    if (decoded_.empty()) return Fail(at, "a track with an empty name");
    if (decoded_.find('\0') != std::string::npos) return Fail(at, "a track name with a NUL byte");
    if (out_.Tracks.Find(decoded_))
      return Fail(at, "a second track named \"" + decoded_ + "\"");
    if (out_.Tracks.Size() >= kMaxRocketTracks)
      return Fail(at, "more than " + std::to_string(kMaxRocketTracks) + " tracks");
    track_ = &out_.Tracks.Track(decoded_);
    trackAt_ = at;
    keys_.clear();
    return true;
  }

  void FinishTrack() {
    if (!track_) return;
    out_.RepeatedRowKeys += track_->SetAllKeys(std::move(keys_));
    keys_ = std::vector<TTrackKey>();
    track_ = nullptr;
  }

  bool ReadKey(size_t at, const TTagAttributes& attributes) {
    if (!track_) return Fail(at, "a key outside a track");
    if (!attributes.HasRow) return Fail(at, "a key without a row");
    if (!attributes.HasValue) return Fail(at, "a key without a value");
    long long row = 0;
    if (!ReadWhole(attributes.Row, row))
      return Fail(at, "key row " + Quoted(attributes.Row) + " is not a whole number");
    if (row < 0) return Fail(at, "key row " + std::to_string(row) + " is negative");
    if (row > std::numeric_limits<int>::max())
      return Fail(at, "key row " + std::to_string(row) + " is too large");
    TTrackKey key;
    key.Row = static_cast<int>(row);
    if (!ReadFloat(attributes.Value, key.Value))
      return Fail(at, "key value " + Quoted(attributes.Value) + " is not a number");
    if (attributes.HasInterpolation) {
      long long type = 0;
      if (!ReadWhole(attributes.Interpolation, type))
        return Fail(at, "key type " + Quoted(attributes.Interpolation) + " is not a number");
      if (type < 0 || type > kMaxKeyType) {
        // An editor newer than this player may know more types: the key holds its value.
        if (out_.UnknownTypeKeys++ == 0)
          out_.FirstUnknownType =
              "line " + std::to_string(LineAt(at)) + ": key type " + std::to_string(type);
      } else {
        key.Type = static_cast<TKeyType>(type);
      }
    }
    keys_.push_back(key);
    return true;
  }
};

void AppendEscaped(const std::string& text, std::string& out) {
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20)
          out += "&#" + std::to_string(static_cast<unsigned char>(c)) + ";";
        else
          out += c;
    }
  }
}

// Refuses what no reader would take back: a NUL in the name, negative rows, values that are not
// finite.
bool TrackWritable(const TKeyedTrack& track, std::string& error) {
  if (track.Name.empty() || track.Name.find('\0') != std::string::npos) {
    error = "a track with an empty name or a NUL byte in its name cannot be written";
    return false;
  }
  for (const TTrackKey& key : track.Keys()) {
    if (key.Row < 0 || !std::isfinite(key.Value)) {
      error = "track \"" + track.Name + "\" has a key at row " + std::to_string(key.Row) +
              " that cannot be written (negative row or a value that is not a number)";
      return false;
    }
  }
  return true;
}

void PutLittle32(uint32_t value, std::string& out) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

uint32_t GetLittle32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::string TrackFileBytes(const TKeyedTrack& track) {
  std::string bytes;
  bytes.reserve(4 + 9 * track.Keys().size());
  PutLittle32(static_cast<uint32_t>(track.Keys().size()), bytes);
  for (const TTrackKey& key : track.Keys()) {
    uint32_t bits = 0;
    std::memcpy(&bits, &key.Value, 4);
    PutLittle32(static_cast<uint32_t>(key.Row), bytes);
    PutLittle32(bits, bytes);
    bytes += static_cast<char>(key.Type);
  }
  return bytes;
}

}  // namespace

bool ParseRocketXml(std::string_view text, TRocketFile& out, std::string& error) {
  out = TRocketFile();
  TRocketReader reader(text, out);
  if (reader.Read(error)) return true;
  out = TRocketFile();
  return false;
}

bool ReadRocketFile(const std::string& fileName, TRocketFile& out, std::string& error) {
  const TFileStamp stamp = FileStamp(fileName);
  if (!stamp.Exists) {
    error = "cannot open " + fileName + NotFoundNote(fileName);
    return false;
  }
  if (stamp.Size > kMaxRocketFileBytes) {
    error = fileName + " is larger than " + std::to_string(kMaxRocketFileBytes >> 20) +
            " MiB: not a track file";
    return false;
  }
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(fileName, bytes)) {
    error = "cannot read " + fileName;
    return false;
  }
  if (bytes.size() > kMaxRocketFileBytes) {
    error = fileName + " grew past " + std::to_string(kMaxRocketFileBytes >> 20) +
            " MiB while it was read";
    return false;
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (ParseRocketXml(text, out, error)) return true;
  error = fileName + ": " + error;
  return false;
}

bool RocketXml(const TKeyedTrackSet& tracks, int rows, std::string& text, std::string& error) {
  text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  std::string body;
  for (const auto& named : tracks.All()) {
    body += "\t\t<track name=\"";
    AppendEscaped(named.first, body);
    body += "\">\n";
    if (!TrackWritable(named.second, error)) return false;
    for (const TTrackKey& key : named.second.Keys()) {
      char line[128];
      std::snprintf(line, sizeof line,
                    "\t\t\t<key row=\"%d\" value=\"%.9g\" interpolation=\"%d\"/>\n",
                    key.Row, static_cast<double>(key.Value), static_cast<int>(key.Type));
      body += line;
      // The editor shows rows up to `rows`: never fewer than the keys need.
      if (key.Row >= rows && key.Row < std::numeric_limits<int>::max()) rows = key.Row + 1;
    }
    body += "\t\t</track>\n";
  }
  text += "<sync rows=\"" + std::to_string(std::max(rows, 0)) + "\">\n\t<tracks>\n";
  text += body;
  text += "\t</tracks>\n</sync>\n";
  return true;
}

bool WriteRocketFile(const std::string& fileName, const TKeyedTrackSet& tracks, int rows,
                     bool replace, std::string& error) {
  std::string text;
  if (!RocketXml(tracks, rows, text, error)) return false;
  return WriteFileByRename(fileName, text, replace, error);
}

std::string TrackFileName(const std::string& base, const std::string& trackName) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string name = base + "_";
  for (const char c : trackName) {
    const unsigned char byte = static_cast<unsigned char>(c);
    const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '_' || c == '/';
    if (kept) {
      name += c;
    } else {
      name += '-';
      name += kHex[byte >> 4];
      name += kHex[byte & 15];
    }
  }
  return name + ".track";
}

bool ParseTrackBytes(const std::vector<uint8_t>& bytes, TKeyedTrack& track, std::string& error) {
  if (bytes.size() < 4) {
    error = "a .track file starts with a 4-byte key count; this one has " +
            std::to_string(bytes.size()) + " bytes";
    return false;
  }
  const int32_t count = static_cast<int32_t>(GetLittle32(bytes.data()));
  if (count < 0) {
    error = "the key count " + std::to_string(count) + " is negative";
    return false;
  }
  const uint64_t needed = 9ull * static_cast<uint64_t>(count);
  if (bytes.size() - 4 != needed) {
    error = std::to_string(count) + " keys need " + std::to_string(needed) +
            " bytes after the count; the file has " + std::to_string(bytes.size() - 4);
    return false;
  }
  std::vector<TTrackKey> keys(static_cast<size_t>(count));
  for (size_t i = 0; i < keys.size(); ++i) {
    const uint8_t* at = bytes.data() + 4 + 9 * i;
    const int32_t row = static_cast<int32_t>(GetLittle32(at));
    const uint32_t bits = GetLittle32(at + 4);
    std::memcpy(&keys[i].Value, &bits, 4);
    const std::string which = "key " + std::to_string(i + 1);
    if (row < 0) {
      error = which + " has the negative row " + std::to_string(row);
      return false;
    }
    if (at[8] > kMaxKeyType) {
      error = which + " has type " + std::to_string(at[8]) + "; " + kTypeRange;
      return false;
    }
    if (!std::isfinite(keys[i].Value)) {
      error = which + " has a value that is not a finite number";
      return false;
    }
    keys[i].Row = row;
    keys[i].Type = static_cast<TKeyType>(at[8]);
  }
  track.SetAllKeys(std::move(keys));
  return true;
}

std::vector<uint8_t> TrackBytes(const TKeyedTrack& track) {
  const std::string bytes = TrackFileBytes(track);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

bool WriteTrackFiles(const std::string& base, const TKeyedTrackSet& tracks, std::string& error) {
  for (const auto& named : tracks.All()) {
    const std::string fileName = TrackFileName(base, named.first);
    // Parts after the first '/' of the name become folders below the base's folder.
    const std::string encoded = fileName.substr(base.size() + 1);
    size_t start = encoded.find('/');
    while (start != std::string_view::npos) {
      const size_t next = encoded.find('/', start + 1);
      if (next == std::string_view::npos) break;
      const std::string part = encoded.substr(start + 1, next - start - 1);
      if (part.empty() || part == "." || part == "..") {
        error = "the track name \"" + named.first + "\" would write outside " + base + "_*";
        return false;
      }
      start = next;
    }
    if (!TrackWritable(named.second, error)) return false;
    if (!WriteFileByRename(fileName, TrackFileBytes(named.second), true, error)) return false;
  }
  return true;
}
