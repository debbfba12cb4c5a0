// A stand-in for ffmpeg in the player's video captures, for checks where no real ffmpeg runs
// (the Windows build under Wine). It answers the encoder list with libx264 and aac; an encode
// from pipe:0 reads all of stdin and writes the number of bytes read, as decimal text, to the
// output file (the last argument); any other run copies its first input to the output.
// STAND_IN_FFMPEG_FAIL_AFTER=N makes an encode stop with status 1 after N bytes, writing nothing.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

bool HasArgument(const std::vector<std::string>& arguments, const char* value) {
  for (const std::string& argument : arguments)
    if (argument == value) return true;
  return false;
}

std::string InputAfterFlag(const std::vector<std::string>& arguments) {
  for (size_t i = 0; i + 1 < arguments.size(); ++i)
    if (arguments[i] == "-i") return arguments[i + 1];
  return "";
}

bool WriteWholeFile(const std::string& name, const std::string& bytes) {
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

int Encode(const std::string& output) {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  const char* failAfter = std::getenv("STAND_IN_FFMPEG_FAIL_AFTER");
  const unsigned long long limit = failAfter ? std::strtoull(failAfter, nullptr, 10) : 0;
  unsigned long long total = 0;
  std::vector<char> buffer(1 << 16);
  size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0) {
    total += got;
    if (failAfter && total >= limit) {
      std::fprintf(stderr, "stand-in ffmpeg: stopping after %llu bytes\n", total);
      return 1;
    }
  }
  return WriteWholeFile(output, std::to_string(total)) ? 0 : 1;
}

int Copy(const std::string& input, const std::string& output) {
  std::FILE* file = std::fopen(input.c_str(), "rb");
  if (!file) return 1;
  std::string bytes;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  std::fclose(file);
  return WriteWholeFile(output, bytes) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (HasArgument(arguments, "-encoders")) {
    std::printf(" V..... libx264              H.264 (stand-in)\n"
                " A..... aac                  AAC (stand-in)\n");
    return 0;
  }
  if (arguments.empty()) return 1;
  const std::string& output = arguments.back();
  if (HasArgument(arguments, "pipe:0")) return Encode(output);
  const std::string input = InputAfterFlag(arguments);
  return input.empty() ? 1 : Copy(input, output);
}
