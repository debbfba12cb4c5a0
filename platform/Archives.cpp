#include "platform/Archives.h"

#include "platform/Files.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

void Put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// Deflates `data` as a raw stream (zip) or with the gzip wrapper.
bool Deflate(const std::string& data, bool gzip, std::string& out) {
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, gzip ? 15 + 16 : -15, 8,
                   Z_DEFAULT_STRATEGY) != Z_OK)
    return false;
  out.resize(deflateBound(&stream, static_cast<uLong>(data.size())) + 64);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return result == Z_STREAM_END;
}

// Reads one entry's file, refusing what an archive cannot hold.
bool ReadEntry(const TArchiveEntry& entry, std::string& data, std::string& error) {
  const TFileStamp stamp = FileStamp(entry.SourcePath);
  if (!stamp.Exists) {
    error = "cannot read " + entry.SourcePath + ": it does not exist";
    return false;
  }
  if (stamp.Size > kMaxArchivedFileBytes) {
    error = entry.SourcePath + " is larger than 4 GiB: an archive cannot hold it";
    return false;
  }
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(entry.SourcePath, bytes)) {
    error = "cannot read " + entry.SourcePath;
    return false;
  }
  data.assign(bytes.begin(), bytes.end());
  return true;
}

// 1980-01-01 00:00, the first time a zip can say: the same files make the same archive.
constexpr uint32_t kDosTime = 0;
constexpr uint32_t kDosDate = (0 << 9) | (1 << 5) | 1;

}  // namespace

bool ZipArchiveBytes(const std::vector<TArchiveEntry>& entries, std::string& bytes,
                     std::string& error) {
  bytes.clear();
  std::string directory;
  for (const TArchiveEntry& entry : entries) {
    std::string data, packed;
    if (!ReadEntry(entry, data, error)) return false;
    if (!Deflate(data, false, packed)) {
      error = "cannot compress " + entry.SourcePath;
      return false;
    }
    if (bytes.size() > 0xFFFFFFFFull - packed.size() - 64 - entry.Name.size()) {
      error = "the archive would grow past 4 GiB";
      return false;
    }
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    const uint32_t offset = static_cast<uint32_t>(bytes.size());
    // Names are UTF-8 (flag bit 11); every entry is deflated (method 8).
    const auto header = [&](std::string& out, bool central) {
      Put32(out, central ? 0x02014b50 : 0x04034b50);
      if (central) Put16(out, (3 << 8) | 20);  // made on Unix: the mode below counts
      Put16(out, 20);
      Put16(out, 0x0800);
      Put16(out, 8);
      Put16(out, kDosTime);
      Put16(out, kDosDate);
      Put32(out, crc);
      Put32(out, static_cast<uint32_t>(packed.size()));
      Put32(out, static_cast<uint32_t>(data.size()));
      Put16(out, static_cast<uint32_t>(entry.Name.size()));
      Put16(out, 0);
      if (central) {
        Put16(out, 0);  // comment
        Put16(out, 0);  // disk
        Put16(out, 0);  // internal attributes
        Put32(out, (entry.Executable ? 0100755u : 0100644u) << 16);
        Put32(out, offset);
      }
      out += entry.Name;
    };
    header(bytes, false);
    bytes += packed;
    header(directory, true);
  }
  const uint32_t directoryOffset = static_cast<uint32_t>(bytes.size());
  bytes += directory;
  Put32(bytes, 0x06054b50);
  Put16(bytes, 0);
  Put16(bytes, 0);
  Put16(bytes, static_cast<uint32_t>(entries.size()));
  Put16(bytes, static_cast<uint32_t>(entries.size()));
  Put32(bytes, static_cast<uint32_t>(directory.size()));
  Put32(bytes, directoryOffset);
  Put16(bytes, 0);
  if (entries.size() > 0xFFFF) {
    error = "more than 65535 files";
    return false;
  }
  return true;
}

bool TarGzArchiveBytes(const std::vector<TArchiveEntry>& entries, std::string& bytes,
                       std::string& error) {
  std::string tar;
  for (const TArchiveEntry& entry : entries) {
    std::string data;
    if (!ReadEntry(entry, data, error)) return false;
    // ustar: a name longer than 100 bytes is split at a '/' into a prefix of up to 155.
    std::string name = entry.Name, prefix;
    if (name.size() > 100) {
      const size_t slash = name.rfind('/', 155);
      if (slash == std::string::npos || name.size() - slash - 1 > 100) {
        error = "the name " + entry.Name + " is too long for a tar archive";
        return false;
      }
      prefix = name.substr(0, slash);
      name = name.substr(slash + 1);
    }
    char header[512] = {};
    std::memcpy(header, name.data(), name.size());
    std::snprintf(header + 100, 8, "%07o", entry.Executable ? 0755u : 0644u);
    std::snprintf(header + 108, 8, "%07o", 0u);
    std::snprintf(header + 116, 8, "%07o", 0u);
    std::snprintf(header + 124, 12, "%011llo", static_cast<unsigned long long>(data.size()));
    std::snprintf(header + 136, 12, "%011o", 0u);
    std::memset(header + 148, ' ', 8);
    header[156] = '0';
    std::memcpy(header + 257, "ustar", 6);
    std::memcpy(header + 263, "00", 2);
    std::memcpy(header + 345, prefix.data(), prefix.size());
    unsigned sum = 0;
    for (const char c : header) sum += static_cast<unsigned char>(c);
    std::snprintf(header + 148, 8, "%06o", sum);
    tar.append(header, sizeof header);
    tar += data;
    tar.append((512 - data.size() % 512) % 512, '\0');
  }
  tar.append(1024, '\0');
  if (!Deflate(tar, true, bytes)) {
    error = "cannot compress the archive";
    return false;
  }
  return true;
}
