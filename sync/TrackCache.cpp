// The cache of demotracks made from music, keyed by a hash of the file's contents and the grid.
#include "sync/TrackSources.h"

#include "platform/Files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace {

// Cached file: this tag, the written BPM and the music's BPM (8 bytes each), then the demotrack.
// The tag changes whenever a conversion would place notes differently.
constexpr char kCacheTag[8] = {'V', 'P', 'T', 'R', 'K', 'C', '0', '2'};
constexpr size_t kCacheHeader = 24;

uint64_t Fnv1a(const std::vector<uint8_t>& bytes, uint64_t seed) {
  uint64_t hash = seed;
  for (uint8_t b : bytes) hash = (hash ^ b) * 0x100000001b3ull;
  return hash;
}

std::filesystem::path CacheFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && *xdg == '/') return std::filesystem::path(xdg) / "vorpane";
  const char* home = std::getenv("HOME");
  if (home && *home == '/') return std::filesystem::path(home) / ".cache" / "vorpane";
  return {};
}

std::string CacheName(const std::vector<uint8_t>& bytes, TTrackSource source,
                      const TTrackGrid& grid) {
  char name[128];
  std::snprintf(name, sizeof name, "%016llx%016llx-%zu-%d-%.4f-%d.trk",
                static_cast<unsigned long long>(Fnv1a(bytes, 0xcbf29ce484222325ull)),
                static_cast<unsigned long long>(Fnv1a(bytes, 0x84222325cbf29ce4ull)),
                bytes.size(), static_cast<int>(source), grid.Bpm, grid.RowsPerBeat);
  return name;
}

bool ReadCached(const std::filesystem::path& path, TTrackBuild& out) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path.string(), bytes) || bytes.size() < kCacheHeader + 8 ||
      std::memcmp(bytes.data(), kCacheTag, sizeof kCacheTag) != 0)
    return false;
  std::memcpy(&out.Bpm, &bytes[8], 8);
  std::memcpy(&out.MusicBpm, &bytes[16], 8);
  const std::vector<uint8_t> track(bytes.begin() + kCacheHeader, bytes.end());
  std::string error;
  if (!(out.Bpm > 0.0) || !ParseDemotrackBytes(track, out.Data, error)) return false;
  // A file cut short by a crash while it was written is not used.
  return DemotrackBytes(out.Data).size() == track.size();
}

void WriteCached(const std::filesystem::path& path, const TTrackBuild& build) {
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  std::vector<uint8_t> bytes(kCacheTag, kCacheTag + sizeof kCacheTag);
  bytes.resize(kCacheHeader);
  std::memcpy(&bytes[8], &build.Bpm, 8);
  std::memcpy(&bytes[16], &build.MusicBpm, 8);
  const std::vector<uint8_t> track = DemotrackBytes(build.Data);
  bytes.insert(bytes.end(), track.begin(), track.end());
  // Written beside and renamed, so a reader never sees half a file.
  const std::filesystem::path partial =
      path.string() + ".part" + std::to_string(static_cast<long>(getpid()));
  FILE* file = std::fopen(partial.c_str(), "wb");
  if (!file) return;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) == 0 && written)
    std::filesystem::rename(partial, path, ignored);
  std::filesystem::remove(partial, ignored);
}

}  // namespace

bool CachedDemotrackFromMusic(const std::string& fileName, const std::vector<uint8_t>& bytes,
                              TTrackSource source, const TTrackGrid& grid, TTrackBuild& out,
                              std::string& error) {
  const std::filesystem::path folder = CacheFolder();
  const std::filesystem::path path =
      folder.empty() ? folder : folder / CacheName(bytes, source, grid);
  if (!folder.empty() && ReadCached(path, out)) return true;
  out = TTrackBuild();
  if (!DemotrackFromMusic(fileName, bytes, source, grid, out, error)) return false;
  if (!folder.empty()) WriteCached(path, out);
  return true;
}
