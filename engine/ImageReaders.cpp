// The picture format table: which format a name or content asks for, its label, its decoder and
// the reader whose messages a file that cannot be read gets. Each decoder lives in its own file.
#include "engine/ImageReaders.h"

#include "engine/ImageDecodeParts.h"
#include "platform/Files.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

using namespace image_parts;

using TDecoder = bool (*)(const std::string& name, const uint8_t* data, size_t size,
                          TTextureImage& image, TLoadFailure& failure);
using TFileReader = bool (*)(const std::string& name, TTextureImage& image,
                             TLoadFailure& failure, const TReadContext& files);

// One picture format.
struct PictureFormatRow {
  TPictureFormat format;
  const char* label;
  const char* endings;                      // file name endings, lower case, blank-separated
  bool (*proves)(const uint8_t*, size_t);   // the signature check, null when there is none
  TDecoder decode;
  TFileReader readFile;                     // with the format's own message for unreadable files
};

const PictureFormatRow kPictureFormats[] = {
    {TPictureFormat::Bmp, "BMP", "bmp", IsBmpContent, DecodeBmp, ReadBmpImage},
    {TPictureFormat::Jpeg, "JPEG", "jpg jpeg jpe jfif", IsJpegContent, DecodeJpeg, ReadJpegImage},
    {TPictureFormat::Png, "PNG", "png", IsPngContent, DecodePng, ReadPngImage},
    {TPictureFormat::Tga, "TGA", "tga", nullptr, DecodeTga, ReadTgaImage},
};

const PictureFormatRow* FindFormat(TPictureFormat format) {
  for (const PictureFormatRow& row : kPictureFormats)
    if (row.format == format) return &row;
  return nullptr;
}

std::vector<std::string> Endings(const PictureFormatRow& row) {
  std::istringstream words(row.endings);
  std::vector<std::string> endings;
  for (std::string ending; words >> ending;) endings.push_back(ending);
  return endings;
}

// "BMP, JPEG (.jpg, .jpeg, .jpe, .jfif), PNG and TGA": the labels in alphabetical order, each
// with its endings when they are not just the label in lower case.
std::string SupportedFormats() {
  std::vector<std::string> entries;
  for (const PictureFormatRow& row : kPictureFormats) {
    std::string entry = row.label;
    std::string lowerLabel = entry;
    for (char& c : lowerLabel) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::vector<std::string> endings = Endings(row);
    if (endings != std::vector<std::string>{lowerLabel}) {
      entry += " (";
      for (size_t i = 0; i < endings.size(); ++i) entry += (i ? ", ." : ".") + endings[i];
      entry += ")";
    }
    entries.push_back(entry);
  }
  std::sort(entries.begin(), entries.end());
  std::string text;
  for (size_t i = 0; i < entries.size(); ++i)
    text += (i == 0 ? "" : i + 1 == entries.size() ? " and " : ", ") + entries[i];
  return text;
}

}  // namespace

TPictureFormat PictureFormatOfName(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  const size_t slash = name.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && slash > dot))
    return TPictureFormat::Unknown;
  std::string ending = name.substr(dot + 1);
  for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const PictureFormatRow& row : kPictureFormats) {
    const std::vector<std::string> endings = Endings(row);
    if (std::find(endings.begin(), endings.end(), ending) != endings.end()) return row.format;
  }
  return TPictureFormat::Unknown;
}

TPictureFormat PictureFormatOfContent(const uint8_t* data, size_t size) {
  for (const PictureFormatRow& row : kPictureFormats)
    if (row.proves && row.proves(data, size)) return row.format;
  return TPictureFormat::Unknown;
}

const char* PictureFormatLabel(TPictureFormat format) {
  const PictureFormatRow* row = FindFormat(format);
  return row ? row->label : "unknown";
}

std::string PictureDamageLine(const std::string& name, const TTextureImage& image) {
  if (image.Damage.empty()) return std::string();
  return name + ": picture is damaged (decoded with errors: " + image.Damage + ")";
}

bool DecodePicture(TPictureFormat format, const std::string& name, const uint8_t* data,
                   size_t size, TTextureImage& image, TLoadFailure& failure) {
  if (const PictureFormatRow* row = FindFormat(format))
    return row->decode(name, data, size, image, failure);
  return Fail(failure, image, "Texture",
              "Couldn't load " + Quoted(name) + ". Unknown picture type: supported are " +
                  SupportedFormats() + ".");
}

bool ReadPictureFile(const std::string& name, TTextureImage& image, TLoadFailure& failure,
                     std::string& note, const TReadContext& files) {
  const PictureFormatRow* byName = FindFormat(PictureFormatOfName(name));
  std::vector<uint8_t> bytes;
  if (!byName || !files.ReadWholeFile(name, bytes)) {
    if (byName) {
      if (byName->readFile(name, image, failure, files)) return true;
      failure.Text += files.NotFoundNote(name);
      return false;
    }
    return DecodePicture(TPictureFormat::Unknown, name, nullptr, 0, image, failure);
  }
  TPictureFormat format = byName->format;
  const TPictureFormat byContent = PictureFormatOfContent(bytes.data(), bytes.size());
  if (byContent != TPictureFormat::Unknown && byContent != format) {
    note = "\"" + name + "\" is a " + PictureFormatLabel(byContent) +
           " picture with a misleading name; loaded as " + PictureFormatLabel(byContent);
    format = byContent;
  }
  return DecodePicture(format, name, bytes.data(), bytes.size(), image, failure);
}
