#include "platform/KestoBASS.h"

#include "platform/Files.h"
#include "platform/Spectrum.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kDeviceRate = 44100;
constexpr int kDeviceChannels = 2;
constexpr int kDeviceBufferFrames = 1024;
constexpr double kMaxFrequency = 4.0e6;
constexpr double kMaxRangeSeconds = 2.0 * kMaxMusicSeconds;
// The clock may run this much faster or slower than the playback frequency to follow the
// device's own clock, and closes a gap to the device in about kClockCatchUpSeconds.
constexpr double kMaxClockCorrection = 0.02;
constexpr double kClockCatchUpSeconds = 1.0;
// A device this many buffers ahead of the clock moves the clock to it at once.
constexpr double kMaxBuffersAhead = 4.0;
// How long a started clock waits for the device's first buffer before it runs without it.
constexpr double kFirstBufferWaitSeconds = 0.5;

// What a background decode gives.
struct DecodedMusic {
  bool Ok = false;
  TPcm16 Pcm;
  std::string Reason;
  std::string Damage;  // a file cut short or damaged: what was lost
};

// A stream's position is a clock: a line through (AnchorTicks, AnchorFrame) rising at
// Frequency × ClockRate source frames per second. The performance counter drives it, so it is
// smooth between device buffers; each buffer the device asks for nudges ClockRate so the clock
// follows the audio being handed over. A device that falls more than a buffer behind the clock
// (it was starved) skips its audio ahead instead, so what is heard stays with the clock.
struct Stream {
  TPcm16 Pcm;               // never changes once Decoding has been taken
  std::future<DecodedMusic> Decoding;  // valid until the first operation that needs Pcm
  std::string FileName;     // as opened, for the message of a failed decode
  uint32_t Frequency = 0;   // source frames played per second
  bool Playing = false;
  int64_t Frame = 0;        // next source frame the device renders
  double Fraction = 0.0;    // how far past Frame, 0..1
  double AnchorFrame = 0.0;
  uint64_t AnchorTicks = 0;
  double ClockRate = 1.0;
  bool Synced = false;        // false: the clock waits for the device's first buffer
  double LastReported = 0.0;  // the reported position never goes below this while playing
};

struct AudioState {
  std::mutex Lock;  // guards everything below; the audio callback takes it too
  std::vector<std::unique_ptr<Stream>> Streams;  // handle h is Streams[h - 1]
  bool DeviceTried = false;
  bool DeviceOpen = false;
  SDL_AudioDeviceID Device = 0;
  std::vector<int32_t> Mix;  // the callback's mixing buffer
  // Decodes started by PrefetchStream that no OpenStream has taken yet, by absolute path.
  std::vector<std::pair<std::string, std::future<DecodedMusic>>> Prefetched;
};

// Never destroyed: the audio thread may still run while the process exits.
AudioState& State() {
  static AudioState* state = new AudioState();
  return *state;
}

uint64_t NowTicks() { return SDL_GetPerformanceCounter(); }

double TicksToSeconds(uint64_t ticks) {
  return static_cast<double>(ticks) / static_cast<double>(SDL_GetPerformanceFrequency());
}

// The source frame nearest to a time, kept in a range where frame arithmetic cannot overflow.
int64_t NearestFrame(double seconds, int32_t rate) {
  const double frame = std::floor(seconds * rate + 0.5);
  constexpr double kBound = 4.0e18;
  if (!(frame > -kBound)) return static_cast<int64_t>(-kBound);
  if (frame > kBound) return static_cast<int64_t>(kBound);
  return static_cast<int64_t>(frame);
}

// Takes the samples of the stream's background decode, waiting for it the first time. A file
// whose header was sound but whose data is not stays silent, and one cut short plays what
// decoded, each with one line on stderr. Call with
// the lock held (so only one caller takes the result).
void FinishDecoding(Stream& stream) {
  if (!stream.Decoding.valid()) return;
  DecodedMusic music = stream.Decoding.get();
  if (music.Ok) {
    stream.Pcm = std::move(music.Pcm);
    if (!music.Damage.empty())
      std::fprintf(stderr, "%s: %s\n", stream.FileName.c_str(), music.Damage.c_str());
    return;
  }
  std::fprintf(stderr, "Cannot decode music %s: %s; it plays as silence\n",
               stream.FileName.c_str(), music.Reason.c_str());
}

// The stream of a handle, or null; its samples are decoded. Call with the lock held.
Stream* Find(uint32_t handle) {
  AudioState& state = State();
  if (handle == 0 || handle > state.Streams.size()) return nullptr;
  Stream* stream = state.Streams[handle - 1].get();
  if (!stream) return nullptr;  // freed
  FinishDecoding(*stream);
  return stream;
}

// Decodes the file at an absolute path on a thread of its own.
std::future<DecodedMusic> StartDecoding(const std::string& path) {
  return std::async(std::launch::async, [path] {
    DecodedMusic music;
    music.Ok = DecodeAudioFile(path, music.Pcm, music.Reason, &music.Damage);
    return music;
  });
}

// The clock's reading at now, in source frames. Call with the lock held.
double ClockFrame(const Stream& stream, uint64_t now) {
  double elapsed = now > stream.AnchorTicks ? TicksToSeconds(now - stream.AnchorTicks) : 0.0;
  // Waiting for the first buffer, the clock holds; a device that never calls does not stop it.
  if (!stream.Synced) elapsed = std::max(0.0, elapsed - kFirstBufferWaitSeconds);
  return stream.AnchorFrame + elapsed * stream.Frequency * stream.ClockRate;
}

// The position being heard, in source frames. Call with the lock held.
double HeardFrame(Stream& stream, uint64_t now) {
  if (!stream.Playing) return static_cast<double>(stream.Frame) + stream.Fraction;
  const double frame = std::max(ClockFrame(stream, now), stream.LastReported);
  stream.LastReported = frame;
  return frame;
}

// Restarts the clock at now from a frame. Call with the lock held.
void RestartClock(Stream& stream, double frame, uint64_t now, bool synced) {
  stream.AnchorFrame = frame;
  stream.AnchorTicks = now;
  stream.ClockRate = 1.0;
  stream.Synced = synced;
  stream.LastReported = frame;
}

// A device buffer of frameCount frames starts now at the stream's render position: bring the
// clock and the render position together. Call with the lock held.
void SyncWithDevice(Stream& stream, int frameCount, uint64_t now) {
  const double rendered = static_cast<double>(stream.Frame) + stream.Fraction;
  const double buffer = frameCount * static_cast<double>(stream.Frequency) / kDeviceRate;
  const double clock = ClockFrame(stream, now);
  const double gap = rendered - clock;
  if (gap < -buffer) {
    // The device was starved (or came late): skip what it missed.
    stream.Frame = static_cast<int64_t>(std::floor(clock));
    stream.Fraction = clock - std::floor(clock);
    if (!stream.Synced) RestartClock(stream, clock, now, true);
  } else if (!stream.Synced || gap > kMaxBuffersAhead * buffer) {
    RestartClock(stream, std::max(rendered, clock), now, true);
  } else {
    stream.AnchorFrame = clock;
    stream.AnchorTicks = now;
    const double correction = gap / (stream.Frequency * kClockCatchUpSeconds);
    stream.ClockRate = 1.0 + std::max(-kMaxClockCorrection, std::min(kMaxClockCorrection, correction));
  }
}

int16_t SampleAt(const TPcm16& pcm, int64_t frame, int channel) {
  if (frame < 0 || frame >= pcm.FrameCount()) return 0;
  return pcm.Samples[static_cast<size_t>(frame * pcm.Channels + channel)];
}

// Adds frameCount device frames of the stream to mix, resampling linearly from the stream's
// frequency to the device rate, and advances its render position.
void RenderStream(Stream& stream, int32_t* mix, int frameCount) {
  const double step = static_cast<double>(stream.Frequency) / kDeviceRate;
  const TPcm16& pcm = stream.Pcm;
  for (int i = 0; i < frameCount; ++i) {
    for (int c = 0; c < kDeviceChannels; ++c) {
      const int source = c < pcm.Channels ? c : pcm.Channels - 1;
      const double a = SampleAt(pcm, stream.Frame, source);
      const double b = SampleAt(pcm, stream.Frame + 1, source);
      mix[i * kDeviceChannels + c] += static_cast<int32_t>(std::lround(a + (b - a) * stream.Fraction));
    }
    stream.Fraction += step;
    const double whole = std::floor(stream.Fraction);
    stream.Frame += static_cast<int64_t>(whole);
    stream.Fraction -= whole;
  }
}

void SDLCALL AudioCallback(void*, Uint8* bytes, int length) {
  RenderDeviceAudio(reinterpret_cast<int16_t*>(bytes),
                    length / static_cast<int>(kDeviceChannels * sizeof(int16_t)));
}

}  // namespace

bool InitAudio(SDL_Window* /*window*/) {
  AudioState& state = State();
  if (state.DeviceTried) return state.DeviceOpen;
  state.DeviceTried = true;
  SDL_AudioDeviceID device = 0;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
    SDL_AudioSpec want{}, have{};
    want.freq = kDeviceRate;
    want.format = AUDIO_S16SYS;
    want.channels = kDeviceChannels;
    want.samples = kDeviceBufferFrames;
    want.callback = AudioCallback;
    // No changes allowed: SDL converts to whatever the hardware wants.
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  if (device == 0) {
    std::fprintf(stderr, "No sound device (%s): the music plays silently on the clock\n",
                 SDL_GetError());
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(state.Lock);
    state.DeviceOpen = true;
    state.Device = device;
  }
  SDL_PauseAudioDevice(device, 0);
  return true;
}

void ResetAudio() {
  AudioState& state = State();
  // Closing waits for a running callback, which takes the lock: close before locking.
  if (state.Device != 0) {
    SDL_CloseAudioDevice(state.Device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  std::lock_guard<std::mutex> guard(state.Lock);
  // Dropping a decode's future waits for its thread.
  state.Streams.clear();
  state.Prefetched.clear();
  state.DeviceTried = false;
  state.DeviceOpen = false;
  state.Device = 0;
  state.Mix.clear();
}

uint32_t OpenStream(const std::string& fileName, std::string* reason, const TReadContext& files) {
  auto stream = std::make_unique<Stream>();
  std::string why;
  const std::string path = files.AbsolutePath(fileName);
  // What can fail before decoding fails here, at once; the decode itself runs on its own thread
  // while the demo goes on loading, and the first operation that needs the samples waits for it.
  if (!ProbeAudioFile(path, stream->Pcm, why)) {
    if (reason) *reason = why;
    return 0;
  }
  stream->FileName = fileName;
  stream->Frequency = static_cast<uint32_t>(stream->Pcm.SampleRate);
  AudioState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  for (auto entry = state.Prefetched.begin(); entry != state.Prefetched.end(); ++entry) {
    if (entry->first != path) continue;
    stream->Decoding = std::move(entry->second);
    state.Prefetched.erase(entry);
    break;
  }
  if (!stream->Decoding.valid()) stream->Decoding = StartDecoding(path);
  state.Streams.push_back(std::move(stream));
  return static_cast<uint32_t>(state.Streams.size());
}

void PrefetchStream(const std::string& fileName, const TReadContext& files) {
  TPcm16 header;
  std::string reason;
  const std::string path = files.AbsolutePath(fileName);
  if (!ProbeAudioFile(path, header, reason)) return;
  AudioState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  for (const auto& entry : state.Prefetched)
    if (entry.first == path) return;
  state.Prefetched.emplace_back(path, StartDecoding(path));
}

std::vector<std::string> PrefetchedMusic() {
  AudioState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  std::vector<std::string> paths;
  for (const auto& entry : state.Prefetched) paths.push_back(entry.first);
  return paths;
}

bool FreeStream(uint32_t handle) {
  AudioState& state = State();
  std::unique_ptr<Stream> freed;
  {
    std::lock_guard<std::mutex> guard(state.Lock);
    if (handle == 0 || handle > state.Streams.size() || !state.Streams[handle - 1]) return false;
    // The slot stays empty so that later handles keep their numbers.
    freed = std::move(state.Streams[handle - 1]);
  }
  // Outside the lock: dropping a decode still running waits for it.
  return true;
}

bool PlayStream(uint32_t handle) {
  AudioState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  Stream* stream = Find(handle);
  if (!stream) return false;
  if (stream->Playing) return true;
  // With a device the clock waits for the first buffer; without one it runs at once.
  RestartClock(*stream, static_cast<double>(stream->Frame) + stream->Fraction, NowTicks(),
               !state.DeviceOpen);
  stream->Playing = true;
  return true;
}

bool PauseStream(uint32_t handle) {
  AudioState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  Stream* stream = Find(handle);
  if (!stream) return false;
  if (!stream->Playing) return true;
  // The device renders ahead of what is heard: the heard position is where play resumes.
  const double heard = HeardFrame(*stream, NowTicks());
  stream->Frame = static_cast<int64_t>(std::floor(heard));
  stream->Fraction = heard - std::floor(heard);
  stream->Playing = false;
  return true;
}

float StreamPosition(uint32_t handle) {
  AudioState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  Stream* stream = Find(handle);
  if (!stream) return 0.0f;
  return static_cast<float>(HeardFrame(*stream, NowTicks()) / stream->Pcm.SampleRate);
}

bool SetStreamPosition(uint32_t handle, float seconds) {
  if (!std::isfinite(seconds)) return false;
  AudioState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  Stream* stream = Find(handle);
  if (!stream) return false;
  stream->Frame = NearestFrame(seconds, stream->Pcm.SampleRate);
  stream->Fraction = 0.0;
  RestartClock(*stream, static_cast<double>(stream->Frame), NowTicks(), !state.DeviceOpen);
  return true;
}

bool SetStreamSpeed(uint32_t handle, float factor) {
  AudioState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  Stream* stream = Find(handle);
  if (!stream) return false;
  const double frequency = std::round(static_cast<double>(stream->Frequency) * factor);
  if (!(frequency >= 1.0 && frequency <= kMaxFrequency)) return false;
  if (stream->Playing && stream->Synced) {
    // Keep the heard position continuous across the change of rate.
    const uint64_t now = NowTicks();
    stream->AnchorFrame = HeardFrame(*stream, now);
    stream->AnchorTicks = now;
  }
  stream->Frequency = static_cast<uint32_t>(frequency);
  return true;
}

bool FetchSpectrum(uint32_t handle, float* buffer) {
  AudioState& state = State();
  Stream* stream = nullptr;
  double frame = 0.0;
  {
    std::lock_guard<std::mutex> guard(state.Lock);
    stream = Find(handle);
    if (!stream) return false;
    frame = HeardFrame(*stream, NowTicks());
  }
  ComputeSpectrum(stream->Pcm, static_cast<int64_t>(std::floor(frame + 0.5)), buffer);
  return true;
}

bool FetchSpectrumAt(uint32_t handle, double seconds, float* buffer) {
  AudioState& state = State();
  Stream* stream = nullptr;
  {
    std::lock_guard<std::mutex> guard(state.Lock);
    stream = Find(handle);
  }
  if (!stream) return false;
  ComputeSpectrum(stream->Pcm, NearestFrame(seconds, stream->Pcm.SampleRate), buffer);
  return true;
}

bool StreamAudioRange(uint32_t handle, double fromSeconds, double toSeconds, TPcm16& range) {
  AudioState& state = State();
  Stream* stream = nullptr;
  {
    std::lock_guard<std::mutex> guard(state.Lock);
    stream = Find(handle);
  }
  if (!stream) return false;
  if (!(toSeconds - fromSeconds <= kMaxRangeSeconds)) return false;
  const TPcm16& pcm = stream->Pcm;
  const int64_t first = NearestFrame(fromSeconds, pcm.SampleRate);
  const int64_t count = std::max<int64_t>(0, NearestFrame(toSeconds, pcm.SampleRate) - first);
  range.SampleRate = pcm.SampleRate;
  range.Channels = pcm.Channels;
  range.Samples.assign(static_cast<size_t>(count) * pcm.Channels, 0);
  const int64_t begin = std::max<int64_t>(first, 0);
  const int64_t end = std::min(first + count, pcm.FrameCount());
  for (int64_t frame = begin; frame < end; ++frame)
    for (int c = 0; c < pcm.Channels; ++c)
      range.Samples[static_cast<size_t>((frame - first) * pcm.Channels + c)] =
          pcm.Samples[static_cast<size_t>(frame * pcm.Channels + c)];
  return true;
}

void RenderDeviceAudio(int16_t* out, int frameCount) {
  AudioState& state = State();
  const uint64_t now = NowTicks();
  std::lock_guard<std::mutex> guard(state.Lock);
  state.Mix.assign(static_cast<size_t>(frameCount) * kDeviceChannels, 0);
  for (const std::unique_ptr<Stream>& stream : state.Streams) {
    if (!stream || !stream->Playing) continue;
    // Without a device nothing is heard and the clock alone leads.
    if (state.DeviceOpen) SyncWithDevice(*stream, frameCount, now);
    RenderStream(*stream, state.Mix.data(), frameCount);
  }
  for (size_t i = 0; i < state.Mix.size(); ++i)
    out[i] = static_cast<int16_t>(std::min(32767, std::max(-32768, state.Mix[i])));
}

uint32_t StreamFrequency(uint32_t handle) {
  AudioState& state = State();
  std::lock_guard<std::mutex> guard(state.Lock);
  Stream* stream = Find(handle);
  return stream ? stream->Frequency : 0;
}
