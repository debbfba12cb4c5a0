#include "common/Synth.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

double NoteFrequency(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// A small deterministic noise source (xorshift), seeded per voice so a solo render of one
// instrument gives the same samples as that instrument in the full mix.
class TNoise {
 public:
  explicit TNoise(uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {
    if (state_ == 0) state_ = 1;
  }
  float Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<float>(state_) / 2147483648.0f - 1.0f;
  }

 private:
  uint32_t state_;
};

// One-pole low-pass filter; Cutoff may change per sample.
struct TLowPass {
  double State = 0;
  double Run(double input, double cutoff, double sampleRate) {
    const double a = 1.0 - std::exp(-2.0 * kPi * cutoff / sampleRate);
    State += a * (input - State);
    return State;
  }
};

// Two one-pole low-passes in a row, the second a little higher: a gentler slope than one pole.
struct TTwoPoleLowPass {
  TLowPass First, Second;
  double Run(double input, double cutoff, double sampleRate, double spread) {
    return Second.Run(First.Run(input, cutoff, sampleRate), cutoff * spread, sampleRate);
  }
};

// A note's loudness at time t: a linear rise over attack, held until length, then a linear fall
// to silence over release.
double GateEnvelope(double t, double attack, double length, double release) {
  double envelope = std::min(1.0, t / attack);
  if (t > length) envelope *= std::max(0.0, 1.0 - (t - length) / release);
  return envelope;
}

// Moves an oscillator phase (0..1) on by one sample.
void AdvancePhase(double& phase, double frequency, double sampleRate) {
  phase += frequency / sampleRate;
  phase -= std::floor(phase);
}

// Where a voice writes: a stereo bus of the mix.
struct TBus {
  std::vector<float> Left, Right;
  explicit TBus(size_t length) : Left(length, 0.0f), Right(length, 0.0f) {}
  void Add(int64_t index, double left, double right) {
    if (index < 0 || static_cast<size_t>(index) >= Left.size()) return;
    Left[static_cast<size_t>(index)] += static_cast<float>(left);
    Right[static_cast<size_t>(index)] += static_cast<float>(right);
  }
};

struct TVoiceContext {
  double SampleRate;
  double RowSeconds;
  int64_t Start;          // first sample of the event
  const TSongEvent* Event;
};

void RenderKick(const TVoiceContext& v, TBus& bus) {
  const int64_t count = static_cast<int64_t>(0.45 * v.SampleRate);
  TNoise noise(static_cast<uint32_t>(v.Event->Row) * 8u + 1u);
  double phase = 0.0;
  for (int64_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / v.SampleRate;
    const double frequency = 48.0 + 110.0 * std::exp(-t * 30.0);
    // Starting on the crest gives the beat its click on the very first samples.
    const double body = std::cos(phase) * std::exp(-t * 7.0);
    phase += 2.0 * kPi * frequency / v.SampleRate;
    const double click = 0.25 * noise.Next() * std::exp(-t * 500.0);
    const double attack = std::min(1.0, static_cast<double>(i + 1) / 12.0);
    const double value = (body + click) * attack * 0.8 * v.Event->Velocity;
    bus.Add(v.Start + i, value, value);
  }
}

void RenderSnare(const TVoiceContext& v, TBus& bus) {
  const int64_t count = static_cast<int64_t>(0.35 * v.SampleRate);
  TNoise noise(static_cast<uint32_t>(v.Event->Row) * 8u + 2u);
  double previous = 0.0;
  TLowPass soften;
  for (int64_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / v.SampleRate;
    const double white = noise.Next();
    const double bright = soften.Run(white - previous, 7000.0, v.SampleRate);
    previous = white;
    const double tone = std::sin(2.0 * kPi * 190.0 * t) * std::exp(-t * 30.0);
    const double value =
        (0.9 * bright * std::exp(-t * 16.0) + 0.35 * tone) * 0.5 * v.Event->Velocity;
    bus.Add(v.Start + i, value * 0.95, value);
  }
}

void RenderCymbal(const TVoiceContext& v, TBus& bus, double seconds, double decay, double level) {
  const int64_t count = static_cast<int64_t>(seconds * v.SampleRate);
  TNoise left(static_cast<uint32_t>(v.Event->Row) * 8u + 3u + static_cast<uint32_t>(v.Event->Part));
  TNoise right(static_cast<uint32_t>(v.Event->Row) * 8u + 7u);
  double previousLeft = 0.0, previousRight = 0.0;
  for (int64_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / v.SampleRate;
    const double l = left.Next(), r = right.Next();
    const double envelope = std::exp(-t * decay) * std::min(1.0, static_cast<double>(i + 1) / 24.0);
    const double gain = level * envelope * v.Event->Velocity;
    bus.Add(v.Start + i, (l - previousLeft) * gain * 0.8, (r - previousRight) * gain);
    previousLeft = l;
    previousRight = r;
  }
}

// How long a pitched note sounds: it holds for a share of its rows, then fades over release.
struct TNoteSpan {
  double Length, Release, Frequency;
  int64_t Count;  // samples, fade included
};

TNoteSpan NoteSpan(const TVoiceContext& v, double share, double release) {
  const double length = v.Event->LengthRows * v.RowSeconds * share;
  return {length, release, NoteFrequency(v.Event->Note),
          static_cast<int64_t>((length + release) * v.SampleRate)};
}

void RenderBass(const TVoiceContext& v, TBus& bus) {
  const TNoteSpan note = NoteSpan(v, 0.92, 0.03);
  TTwoPoleLowPass filter;
  double phase = 0.0;
  for (int64_t i = 0; i < note.Count; ++i) {
    const double t = static_cast<double>(i) / v.SampleRate;
    const double saw = 2.0 * phase - 1.0;
    const double sub = std::sin(2.0 * kPi * phase);
    AdvancePhase(phase, note.Frequency, v.SampleRate);
    const double cutoff = 180.0 + 1500.0 * std::exp(-t * 14.0);
    const double filtered = filter.Run(saw, cutoff, v.SampleRate, 1.5);
    const double envelope = GateEnvelope(t, 0.004, note.Length, note.Release);
    const double value = (0.8 * filtered + 0.45 * sub) * envelope * 0.55 * v.Event->Velocity;
    bus.Add(v.Start + i, value, value);
  }
}

void RenderPad(const TVoiceContext& v, TBus& bus) {
  const TNoteSpan note = NoteSpan(v, 1.0, 0.7);
  const double attack = 0.35;
  const double detune = std::pow(2.0, 8.0 / 1200.0);
  double phaseA = 0.0, phaseB = 0.37;
  TTwoPoleLowPass leftFilter, rightFilter;
  for (int64_t i = 0; i < note.Count; ++i) {
    const double t = static_cast<double>(i) / v.SampleRate;
    const double a = 2.0 * phaseA - 1.0, b = 2.0 * phaseB - 1.0;
    AdvancePhase(phaseA, note.Frequency * detune, v.SampleRate);
    AdvancePhase(phaseB, note.Frequency / detune, v.SampleRate);
    // The filter opens and closes slowly over the chord, which makes the pad breathe.
    const double cutoff =
        900.0 + 700.0 * std::sin(kPi * std::min(1.0, t / (note.Length + note.Release)));
    const double left = leftFilter.Run(a + 0.5 * b, cutoff, v.SampleRate, 2.0);
    const double right = rightFilter.Run(b + 0.5 * a, cutoff, v.SampleRate, 2.0);
    const double gain =
        0.095 * GateEnvelope(t, attack, note.Length, note.Release) * v.Event->Velocity;
    bus.Add(v.Start + i, left * gain, right * gain);
  }
}

void RenderLead(const TVoiceContext& v, TBus& bus) {
  const TNoteSpan note = NoteSpan(v, 0.85, 0.08);
  TTwoPoleLowPass filter;
  double phase = 0.0;
  for (int64_t i = 0; i < note.Count; ++i) {
    const double t = static_cast<double>(i) / v.SampleRate;
    const double vibrato =
        t > 0.12 ? std::pow(2.0, 0.12 / 12.0 * std::sin(2.0 * kPi * 5.5 * t)) : 1.0;
    AdvancePhase(phase, note.Frequency * vibrato, v.SampleRate);
    const double pulse = phase < 0.35 ? 1.0 : -1.0;
    const double saw = 2.0 * phase - 1.0;
    const double cutoff = 900.0 + 3200.0 * std::exp(-t * 9.0);
    const double filtered = filter.Run(0.6 * pulse + 0.5 * saw, cutoff, v.SampleRate, 1.8);
    const double envelope =
        GateEnvelope(t, 0.005, note.Length, note.Release) * (0.65 + 0.35 * std::exp(-t * 6.0));
    const double value = filtered * envelope * 0.26 * v.Event->Velocity;
    bus.Add(v.Start + i, value, value);
  }
}

// A ping-pong echo: the left side repeats the input after one delay, the right side repeats the
// left after another, and so on with feedback.
void AddPingPongEcho(const TBus& dry, TBus& out, int64_t delay, double feedback, double level) {
  const size_t n = dry.Left.size();
  std::vector<double> left(n, 0.0), right(n, 0.0);
  for (size_t i = static_cast<size_t>(delay); i < n; ++i) {
    const size_t j = i - static_cast<size_t>(delay);
    const double input = 0.5 * (dry.Left[j] + dry.Right[j]);
    left[i] = input + feedback * right[j];
    right[i] = left[j];
  }
  for (size_t i = 0; i < n; ++i) {
    out.Left[i] += static_cast<float>(level * left[i]);
    out.Right[i] += static_cast<float>(level * right[i]);
  }
}

}  // namespace

int64_t SongRowSample(const TSong& song, int32_t row, int32_t sampleRate) {
  return std::llround(SongRowSeconds(song, row) * sampleRate);
}

TStereoAudio RenderSong(const TSong& song, int32_t sampleRate, uint32_t parts) {
  TStereoAudio audio;
  audio.SampleRate = sampleRate;
  const size_t length = static_cast<size_t>(
      SongRowSample(song, song.RowCount, sampleRate) + static_cast<int64_t>(kSongTailSeconds * sampleRate));
  TBus drums(length), music(length), lead(length);
  std::vector<int64_t> kickStarts;
  for (const TSongEvent& event : song.Events) {
    const TVoiceContext v{static_cast<double>(sampleRate), SongRowSeconds(song, 1),
                          SongRowSample(song, event.Row, sampleRate), &event};
    if (event.Part == TSongPart::Kick) kickStarts.push_back(v.Start);
    if (!(parts & SongPartBit(event.Part))) continue;
    switch (event.Part) {
      case TSongPart::Kick: RenderKick(v, drums); break;
      case TSongPart::Snare: RenderSnare(v, drums); break;
      case TSongPart::ClosedHat: RenderCymbal(v, drums, 0.07, 70.0, 0.22); break;
      case TSongPart::OpenHat: RenderCymbal(v, drums, 0.3, 13.0, 0.2); break;
      case TSongPart::Crash: RenderCymbal(v, drums, 2.5, 1.8, 0.2); break;
      case TSongPart::Bass: RenderBass(v, music); break;
      case TSongPart::Pad: RenderPad(v, music); break;
      case TSongPart::Lead: RenderLead(v, lead); break;
    }
  }
  AddPingPongEcho(lead, music, SongRowSample(song, 3, sampleRate), 0.4, 0.45);
  for (size_t i = 0; i < length; ++i) {
    music.Left[i] += lead.Left[i];
    music.Right[i] += lead.Right[i];
  }

  // The music bus ducks under each kick and comes back within a beat: the pumping of the style.
  std::vector<float> duck(length, 1.0f);
  for (int64_t start : kickStarts) {
    for (int64_t i = 0; i < static_cast<int64_t>(0.4 * sampleRate); ++i) {
      const int64_t index = start + i;
      if (index < 0 || static_cast<size_t>(index) >= length) break;
      const double t = static_cast<double>(i) / sampleRate;
      const double depth = 0.6 * std::min(1.0, t / 0.005) * std::exp(-t * 9.0);
      duck[static_cast<size_t>(index)] =
          std::min(duck[static_cast<size_t>(index)], static_cast<float>(1.0 - depth));
    }
  }

  audio.Left.resize(length);
  audio.Right.resize(length);
  float peak = 0.0f;
  for (size_t i = 0; i < length; ++i) {
    audio.Left[i] = drums.Left[i] + music.Left[i] * duck[i];
    audio.Right[i] = drums.Right[i] + music.Right[i] * duck[i];
    peak = std::max({peak, std::fabs(audio.Left[i]), std::fabs(audio.Right[i])});
  }
  if (peak > 0.0f) {
    const float gain = 0.9f / peak;
    for (size_t i = 0; i < length; ++i) {
      audio.Left[i] *= gain;
      audio.Right[i] *= gain;
    }
  }
  return audio;
}
