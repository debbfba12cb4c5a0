#include "common/Song.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int32_t kRowsPerBar = 16;
constexpr int32_t kBarsPerSection = 4;

// Drum and bass figures: one character a row over one bar.
// Drums: 'x' hit, 'o' soft hit, '.' nothing. Hats: 's' soft closed, 'c' closed, 'o' open.
// Bass: 'r' root, 'o' root an octave up, 'f' fifth, '.' nothing (the note before rings on).
const char* const kFourOnTheFloor = "x...x...x...x...";
const char* const kBackbeat = "....x.......x...";
const char* const kSnareFill = "....x...x.x.xxxx";
const char* const kSnareRoll = "x.x.x.x.xxxxxxxx";
const char* const kHatsLight = "..c...c...c...c.";
const char* const kHatsGroove = "s.o.s.o.s.o.s.o.";
const char* const kHatsDrive = "scosscosscosscos";
const char* const kBassOffbeat = "..r...r...r...o.";
const char* const kBassDrive = "r.o.r.o.r.o.f.o.";

// The chord of each bar of the four-bar progression (A minor, F, C, G): the bass root and the
// three notes of the pad, voiced close together so the pad moves smoothly.
struct TChord {
  uint8_t Root;
  std::array<uint8_t, 3> Pad;
};
const std::array<TChord, 4> kProgression = {{
    {33, {57, 60, 64}},  // A minor
    {29, {57, 60, 65}},  // F major
    {36, {55, 60, 64}},  // C major
    {31, {55, 59, 62}},  // G major
}};

// The lead phrase over the four bars: bar, row in the bar, MIDI note, length in rows.
struct TPhraseNote {
  int32_t Bar, Row;
  uint8_t Note;
  int32_t Length;
};
const TPhraseNote kLeadPhrase[] = {
    {0, 0, 69, 3},  {0, 3, 72, 3},  {0, 6, 76, 2},  {0, 8, 74, 2},  {0, 10, 72, 2}, {0, 12, 69, 4},
    {1, 0, 72, 3},  {1, 3, 69, 3},  {1, 6, 65, 2},  {1, 8, 69, 2},  {1, 10, 72, 2}, {1, 12, 74, 4},
    {2, 0, 76, 3},  {2, 3, 79, 3},  {2, 6, 76, 2},  {2, 8, 74, 2},  {2, 10, 72, 2}, {2, 12, 76, 4},
    {3, 0, 74, 3},  {3, 3, 71, 3},  {3, 6, 67, 2},  {3, 8, 71, 2},  {3, 10, 74, 2}, {3, 12, 79, 4},
};

// What plays in one section of four bars. A null figure is silent.
struct TSectionPlan {
  const char* Name;
  const char* Kick;
  const char* Snare;
  const char* LastBarSnare;   // the snare of the fourth bar (a fill), or the same as Snare
  const char* Hats;
  int32_t HatsFromBar;        // hats start at this bar of the section
  const char* Bass;
  bool Pad;
  int LeadOctave;             // -1: no lead; else octaves above the phrase
  bool Crash;                 // a cymbal on the first row
  bool RisingFill;            // the fill grows louder through the bar
};

const TSectionPlan kForm[] = {
    {"intro", nullptr, nullptr, nullptr, kHatsLight, 2, nullptr, true, -1, false, false},
    {"build", kFourOnTheFloor, nullptr, kSnareFill, kHatsLight, 0, kBassOffbeat, true, -1, false,
     false},
    {"groove", kFourOnTheFloor, kBackbeat, kBackbeat, kHatsGroove, 0, kBassOffbeat, true, -1,
     true, false},
    {"theme", kFourOnTheFloor, kBackbeat, kSnareFill, kHatsGroove, 0, kBassOffbeat, true, 0,
     false, false},
    {"break", nullptr, nullptr, kSnareRoll, nullptr, 0, nullptr, true, 0, false, true},
    {"drop", kFourOnTheFloor, kBackbeat, kBackbeat, kHatsDrive, 0, kBassDrive, true, 0, true,
     false},
    {"drop2", kFourOnTheFloor, kBackbeat, kSnareFill, kHatsDrive, 0, kBassDrive, true, 1, false,
     false},
    {"outro", kFourOnTheFloor, nullptr, nullptr, kHatsGroove, 0, kBassOffbeat, true, -1, true,
     false},
    {"end", nullptr, nullptr, nullptr, nullptr, 0, nullptr, false, -1, true, false},
};

void AddDrums(TSong& song, const char* figure, TSongPart part, int32_t barRow, float loudness) {
  if (!figure) return;
  for (int32_t r = 0; r < kRowsPerBar && figure[r]; ++r) {
    const char c = figure[r];
    if (c == '.') continue;
    TSongEvent event;
    event.Row = barRow + r;
    event.Part = part;
    event.Velocity = (c == 'o' || c == 's' ? 0.55f : 1.0f) * loudness;
    if (part == TSongPart::ClosedHat && c == 'o') event.Part = TSongPart::OpenHat;
    song.Events.push_back(event);
  }
}

void AddBass(TSong& song, const char* figure, const TChord& chord, int32_t barRow) {
  if (!figure) return;
  for (int32_t r = 0; r < kRowsPerBar; ++r) {
    const char c = figure[r];
    if (c == '.') continue;
    int32_t length = 1;
    while (r + length < kRowsPerBar && figure[r + length] == '.' && length < 3) ++length;
    TSongEvent event;
    event.Row = barRow + r;
    event.Part = TSongPart::Bass;
    event.Note = static_cast<uint8_t>(chord.Root + (c == 'o' ? 12 : c == 'f' ? 7 : 0));
    event.LengthRows = length;
    song.Events.push_back(event);
  }
}

}  // namespace

TSong MoltraxSong() {
  TSong song;
  song.Bpm = 120.0f;
  int32_t sectionRow = 0;
  for (const TSectionPlan& plan : kForm) {
    song.Sections.push_back({plan.Name, sectionRow});
    const bool lastSection = &plan == &kForm[std::size(kForm) - 1];
    for (int32_t bar = 0; bar < kBarsPerSection; ++bar) {
      const int32_t barRow = sectionRow + bar * kRowsPerBar;
      const TChord& chord = kProgression[static_cast<size_t>(bar)];
      AddDrums(song, plan.Kick, TSongPart::Kick, barRow, 1.0f);
      const bool lastBar = bar == kBarsPerSection - 1;
      const char* snare = lastBar ? plan.LastBarSnare : plan.Snare;
      if (snare && plan.RisingFill && lastBar) {
        for (int32_t r = 0; r < kRowsPerBar; ++r)
          if (snare[r] != '.')
            song.Events.push_back({barRow + r, TSongPart::Snare, 0,
                                   0.25f + 0.75f * static_cast<float>(r) / kRowsPerBar, 1});
      } else {
        AddDrums(song, snare, TSongPart::Snare, barRow, 0.9f);
      }
      if (bar >= plan.HatsFromBar) AddDrums(song, plan.Hats, TSongPart::ClosedHat, barRow, 1.0f);
      AddBass(song, plan.Bass, chord, barRow);
      if (plan.Pad) {
        for (uint8_t note : chord.Pad)
          song.Events.push_back({barRow, TSongPart::Pad, note, 1.0f, kRowsPerBar});
      }
      if (plan.LeadOctave >= 0) {
        for (const TPhraseNote& n : kLeadPhrase)
          if (n.Bar == bar)
            song.Events.push_back({barRow + n.Row, TSongPart::Lead,
                                   static_cast<uint8_t>(n.Note + 12 * plan.LeadOctave), 0.8f,
                                   n.Length});
      }
    }
    if (plan.Crash) song.Events.push_back({sectionRow, TSongPart::Crash, 0, 1.0f, 16});
    if (lastSection) {
      // The last chord: a kick and the tonic held over the whole section.
      song.Events.push_back({sectionRow, TSongPart::Kick, 0, 1.0f, 1});
      song.Events.push_back({sectionRow, TSongPart::Bass, kProgression[0].Root, 1.0f, 24});
      for (uint8_t note : kProgression[0].Pad)
        song.Events.push_back({sectionRow, TSongPart::Pad, note, 1.0f,
                               kBarsPerSection * kRowsPerBar - 8});
    }
    sectionRow += kBarsPerSection * kRowsPerBar;
  }
  song.RowCount = sectionRow;
  std::stable_sort(song.Events.begin(), song.Events.end(),
                   [](const TSongEvent& a, const TSongEvent& b) { return a.Row < b.Row; });
  return song;
}

double SongRowSeconds(const TSong& song, int32_t row) {
  return 60.0 / static_cast<double>(song.Bpm) * (static_cast<double>(row) / 4.0);
}

TDemotrackGrid SongDemotrack(const TSong& song) {
  TDemotrackGrid grid(kSongChannelCount,
                      std::vector<uint8_t>(static_cast<size_t>(std::max(song.RowCount, 0)), 0));
  auto put = [&](int channel, int32_t row, uint8_t value) {
    if (row >= 0 && row < song.RowCount) grid[static_cast<size_t>(channel)][static_cast<size_t>(row)] = value;
  };
  for (const TSongEvent& e : song.Events) {
    switch (e.Part) {
      case TSongPart::Kick: put(kKickChannel, e.Row, 1); break;
      case TSongPart::Snare: put(kSnareChannel, e.Row, 1); break;
      case TSongPart::ClosedHat: put(kHatChannel, e.Row, 1); break;
      case TSongPart::OpenHat: put(kHatChannel, e.Row, 2); break;
      case TSongPart::Bass: put(kBassChannel, e.Row, e.Note); break;
      case TSongPart::Lead: put(kLeadChannel, e.Row, e.Note); break;
      case TSongPart::Pad:
      case TSongPart::Crash: break;
    }
  }
  for (size_t i = 0; i < song.Sections.size(); ++i)
    put(kSectionChannel, song.Sections[i].FirstRow, static_cast<uint8_t>(i + 1));
  return grid;
}
