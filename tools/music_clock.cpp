// Measures the music module on a file: music_clock FILE [SECONDS] [SPEED]
// Prints the decode time, then plays the file (on the sound device SDL picks, or on the clock
// without one) for SECONDS (default 10), polling the position about every millisecond, and
// prints the slope of the least-squares line through (wall time, position) and the largest
// deviation from that line (the jitter a frame sees in its music time), over the whole run and
// over the part after the clock has settled on the device's rate.
#include "platform/KestoBASS.h"
#include "common/Usage.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double Seconds() {
  return static_cast<double>(SDL_GetPerformanceCounter()) /
         static_cast<double>(SDL_GetPerformanceFrequency());
}

}  // namespace

int main(int argc, char** argv) {
  const bool help = AskedForHelp(argc, argv);
  if (help || argc < 2 || argc > 4)
    return PrintUsage("usage: music_clock FILE [SECONDS] [SPEED]\n", help);
  const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
  const float speed = argc > 3 ? static_cast<float>(std::atof(argv[3])) : 1.0f;
  const double decodeStart = Seconds();
  std::string reason;
  const uint32_t stream = OpenStream(argv[1], &reason);
  if (stream == 0) {
    std::fprintf(stderr, "music_clock: %s: %s\n", argv[1], reason.c_str());
    return 1;
  }
  std::printf("decode: %.3f s\n", Seconds() - decodeStart);
  if (!(seconds > 0.0)) return 0;

  InitAudio(nullptr);
  PlayStream(stream);
  SetStreamSpeed(stream, speed);
  std::vector<double> t, p;
  double maxBack = 0.0;
  const double start = Seconds();
  while (Seconds() - start < seconds) {
    t.push_back(Seconds() - start);
    p.push_back(StreamPosition(stream));
    if (p.size() > 1) maxBack = std::max(maxBack, p[p.size() - 2] - p.back());
    SDL_Delay(1);
  }
  // Fit after the first buffer has arrived (the position waits for it), and again after the
  // clock has settled on the device's rate (two seconds).
  size_t first = 0;
  while (first < p.size() && p[first] == p[0]) ++first;
  size_t settled = first;
  while (settled < p.size() && t[settled] < t[first] + 2.0) ++settled;
  for (size_t from : {first, settled}) {
    const size_t n = p.size() - from;
    if (n < 3) return 1;
    double mt = 0, mp = 0;
    for (size_t i = from; i < p.size(); ++i) mt += t[i], mp += p[i];
    mt /= n;
    mp /= n;
    double num = 0, den = 0;
    for (size_t i = from; i < p.size(); ++i) num += (t[i] - mt) * (p[i] - mp), den += (t[i] - mt) * (t[i] - mt);
    const double slope = num / den;
    double maxDeviation = 0.0;
    for (size_t i = from; i < p.size(); ++i)
      maxDeviation = std::max(maxDeviation, std::fabs(p[i] - (mp + slope * (t[i] - mt))));
    std::printf("from %.1f s: %zu polls, slope %.5f (speed %.2f), max deviation from the line %.3f ms\n",
                t[from], n, slope, speed, 1000.0 * maxDeviation);
  }
  std::printf("largest step back: %.3f ms\n", 1000.0 * maxBack);
  return 0;
}
