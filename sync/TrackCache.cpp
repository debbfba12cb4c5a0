// The cache of demotracks made from music, keyed by a hash of the file's contents, the kind of
// file, the grid and the version of the maker.
#include "sync/TrackReports.h"
#include "sync/TrackSources.h"

#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>


namespace {

// The version of the analysis of recordings (sync/AudioAnalysis.cpp): raise it whenever the
// analysis places events differently, and entries made by the older one are not used again.
// Version 2 puts events on the nearest row and finds onsets of short clicks.
constexpr int kAudioAnalysisVersion = 2;

// Cached file: this tag, the written BPM and the music's BPM (8 bytes each), a checksum of the
// whole file but itself (8 bytes), then the demotrack. The tag changes with the layout and
// whenever a conversion of modules or MIDI files would place notes differently.
constexpr char kCacheTag[8] = {'V', 'P', 'T', 'R', 'K', 'C', '0', '2'};
constexpr size_t kChecksumAt = 24;
constexpr size_t kCacheHeader = 32;

uint64_t Fnv1a(const uint8_t* bytes, size_t size, uint64_t seed) {
  uint64_t hash = seed;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ull;
  return hash;
}

uint64_t Fnv1a(const std::vector<uint8_t>& bytes, uint64_t seed) {
  return Fnv1a(bytes.data(), bytes.size(), seed);
}

// The checksum of a cached file's bytes: everything but the checksum itself.
uint64_t EntryChecksum(const std::vector<uint8_t>& bytes) {
  const uint64_t head = Fnv1a(bytes.data(), kChecksumAt, 0xcbf29ce484222325ull);
  return Fnv1a(bytes.data() + kCacheHeader, bytes.size() - kCacheHeader, head);
}

// The cache folder, or empty with the reason there is none.
std::filesystem::path CacheFolder(std::string& missing) {
  std::string why;
  const std::string folder = UserCacheFolder(why);
  if (!folder.empty()) return std::filesystem::u8path(folder);
  missing = "No folder for the demotrack cache (" + why + ")";
  return {};
}

std::string CacheName(const std::vector<uint8_t>& bytes, TTrackSource source,
                      const TTrackGrid& grid) {
  const int version = source == TTrackSource::Audio ? kAudioAnalysisVersion : 0;
  char name[160];
  std::snprintf(name, sizeof name, "%016llx%016llx-%zu-%d-%.4f-%d-v%d.trk",
                static_cast<unsigned long long>(Fnv1a(bytes, 0xcbf29ce484222325ull)),
                static_cast<unsigned long long>(Fnv1a(bytes, 0x84222325cbf29ce4ull)),
                bytes.size(), static_cast<int>(source), grid.Bpm, grid.RowsPerBeat, version);
  return name;
}

enum class TCacheEntry { Missing, Good, Damaged };

// Reads an entry; one that is there but cut short, changed or of another layout is damaged.
TCacheEntry ReadCached(const std::filesystem::path& path, TTrackBuild& out) {
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) return TCacheEntry::Missing;
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path.u8string(), bytes) || bytes.size() < kCacheHeader + 8 ||
      std::memcmp(bytes.data(), kCacheTag, sizeof kCacheTag) != 0)
    return TCacheEntry::Damaged;
  uint64_t checksum = 0;
  std::memcpy(&checksum, &bytes[kChecksumAt], 8);
  if (checksum != EntryChecksum(bytes)) return TCacheEntry::Damaged;
  std::memcpy(&out.Bpm, &bytes[8], 8);
  std::memcpy(&out.MusicBpm, &bytes[16], 8);
  const std::vector<uint8_t> track(bytes.begin() + kCacheHeader, bytes.end());
  std::string error;
  if (!(out.Bpm > 0.0) || !ParseDemotrackBytes(track, out.Data, error) ||
      DemotrackBytes(out.Data).size() != track.size())
    return TCacheEntry::Damaged;
  return TCacheEntry::Good;
}

// Writes an entry; false with the system's reason when it cannot be written.
bool WriteCached(const std::filesystem::path& path, const TTrackBuild& build,
                 std::string& reason) {
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  if (error) {
    reason = error.message();
    return false;
  }
  std::vector<uint8_t> bytes(kCacheTag, kCacheTag + sizeof kCacheTag);
  bytes.resize(kCacheHeader);
  std::memcpy(&bytes[8], &build.Bpm, 8);
  std::memcpy(&bytes[16], &build.MusicBpm, 8);
  const std::vector<uint8_t> track = DemotrackBytes(build.Data);
  bytes.insert(bytes.end(), track.begin(), track.end());
  const uint64_t checksum = EntryChecksum(bytes);
  std::memcpy(&bytes[kChecksumAt], &checksum, 8);
  // Written beside and renamed, so a reader never sees half a file.
  const std::string partial = path.u8string() + ".part" + std::to_string(ProcessId());
  FILE* file = std::fopen(partial.c_str(), "wb");
  if (!file) {
    reason = std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (!ok) reason = std::strerror(errno);
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    reason = std::strerror(errno);
  }
  if (ok && !MoveIntoPlace(partial, path.u8string(), true)) {
    ok = false;
    reason = std::strerror(errno);
  }
  std::remove(partial.c_str());
  return ok;
}

}  // namespace

bool CachedDemotrackFromMusic(const std::string& fileName, const std::vector<uint8_t>& bytes,
                              TTrackSource source, const TTrackGrid& grid, TTrackBuild& out,
                              std::string& error, const TReadContext& files) {
  std::string missing;
  const std::filesystem::path folder = CacheFolder(missing);
  const std::filesystem::path path =
      folder.empty() ? folder : folder / CacheName(bytes, source, grid);
  if (folder.empty()) {
    ReportCacheProblemOnce(missing);
  } else {
    switch (ReadCached(path, out)) {
      case TCacheEntry::Good: return true;
      case TCacheEntry::Damaged:
        std::fprintf(stderr, "%s: the cached demotrack %s is damaged; it is made again\n",
                     fileName.c_str(), path.u8string().c_str());
        break;
      case TCacheEntry::Missing: break;
    }
  }
  out = TTrackBuild();
  if (!DemotrackFromMusic(fileName, bytes, source, grid, out, error, files)) return false;
  std::string reason;
  if (!folder.empty() && !WriteCached(path, out, reason))
    ReportCacheProblemOnce("Cannot write the demotrack cache in " + folder.u8string() + " (" +
                           reason + ")");
  return true;
}
