#include "authoring/TimelinePicture.h"

#include "authoring/ReadOnlyHost.h"
#include "authoring/SvgText.h"
#include "platform/ScriptError.h"
#include "demo/Vorpane.h"
#include "effects/EffectFactory.h"
#include "platform/FatalError.h"
#include "platform/ScriptError.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

// Horizontal scale: 24 pixels a second while the picture stays under kMaxPlotWidth; longer
// productions are drawn narrower, short ones are widened to kMinPlotWidth.
constexpr double kPixelsPerSecond = 24.0;
constexpr double kMinPlotWidth = 600.0;
constexpr double kMaxPlotWidth = 4800.0;
// The picture shows what plays: from the start time to the end (the end time or the end of the
// demotrack, whichever comes first; else the music's end; else as far as the bars reach), and
// never more than two hours. Bars outside are drawn at its edges.
constexpr double kMaxSpanSeconds = 7200.0;
// The tempo rows are placed at when the script gives none.
constexpr double kFallbackBpm = 120.0;

constexpr double kLeft = 78.0;   // room for the captions of the bands
constexpr double kRight = 16.0;
constexpr double kAxisTop = 50.0;
constexpr double kWaveTop = 86.0;
constexpr double kWaveHeight = 60.0;
constexpr double kChannelHeight = 10.0;
constexpr size_t kMaxChannelsDrawn = 32;
constexpr double kLaneHeight = 32.0;
constexpr double kLaneGap = 4.0;
constexpr double kMinBarWidth = 3.0;
// Widths of a character of the monospace labels (0.6 em), with a little to spare.
constexpr double kNameCharWidth = 6.8;   // 11 px
constexpr double kTypeCharWidth = 6.2;   // 10 px
// Rows the envelopes of the whole picture may read, so that a huge INPUT width over a long
// demotrack cannot make the picture take minutes.
constexpr double kEnvelopeRowBudget = 40e6;

const char* const kInputColors[] = {"#ffffff", "#ffe066", "#66e0ff", "#ff8cb4", "#a0ff8c"};

std::string Px(double value) { return SvgNumber(value); }

// A colour as #rrggbb from hue (degrees), saturation and lightness (0 to 1).
std::string HslColor(double hue, double saturation, double lightness) {
  const double c = (1 - std::fabs(2 * lightness - 1)) * saturation;
  const double h = std::fmod(hue, 360.0) / 60.0;
  const double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
  double r = 0, g = 0, b = 0;
  if (h < 1) r = c, g = x;
  else if (h < 2) r = x, g = c;
  else if (h < 3) g = c, b = x;
  else if (h < 4) g = x, b = c;
  else if (h < 5) r = x, b = c;
  else r = c, b = x;
  const double m = lightness - c / 2;
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<int>(std::lround((r + m) * 255)),
                static_cast<int>(std::lround((g + m) * 255)),
                static_cast<int>(std::lround((b + m) * 255)));
  return text;
}

// Lane colours by the place of a type in the LOAD table, told apart at a glance.
const char* const kTypeColors[] = {"#7f6a4f", "#2a9d8f", "#c2409a", "#8a9a2b",
                                   "#3a6fb0", "#c0392b", "#2e9e48", "#6c4cc2",
                                   "#d0841e", "#1f9fc4", "#d4607a"};

// The colour of an effect type by its place in the LOAD table, so that every type keeps its
// colour from picture to picture (types past the list: hues spread by the golden angle); grey
// for an empty slot.
std::string TypeColor(const std::string& type) {
  if (type.empty()) return "#6b6b6b";
  const std::vector<std::string> names = EffectTypeNames();
  const size_t index = static_cast<size_t>(
      std::find(names.begin(), names.end(), CanonicalEffectType(type)) - names.begin());
  if (index < std::size(kTypeColors)) return kTypeColors[index];
  return HslColor(static_cast<double>(index) * 137.508, 0.55, 0.42);
}

// The smallest step of `steps` (times `unit`) whose marks are at least minPixels apart.
double MarkStep(double pixelsPerUnit, double minPixels, const std::vector<double>& steps) {
  if (!(pixelsPerUnit > 0) || !std::isfinite(pixelsPerUnit)) return HUGE_VAL;
  for (const double step : steps)
    if (step * pixelsPerUnit >= minPixels) return step;
  double step = steps.back();
  while (step * pixelsPerUnit < minPixels) step *= 2;
  return step;
}

// Time and row geometry of the picture.
struct TScale {
  double SecondsPerRow = 0;
  bool TempoKnown = false;
  double Start = 0;           // demo time at the left edge
  double Span = 0;            // seconds drawn
  double PixelsPerSecond = 0;
  double PlotWidth = 0;
  double End() const { return Start + Span; }
  double X(double seconds) const {
    return kLeft + std::max(0.0, std::min(seconds - Start, Span)) * PixelsPerSecond;
  }
  // The demo time at a picture x.
  double Time(double x) const { return Start + (x - kLeft) / PixelsPerSecond; }
};

// The lengths that are known: end time, demotrack, music, and how far the bars reach.
struct TEnds {
  double EndTime = -1, TrackEnd = -1, MusicEnd = -1, BarsEnd = 0;
};

TEnds FindEnds(const TVDemo& demo, const TPcm16* music, double secondsPerRow) {
  TEnds ends;
  if (demo.EndTime > 0 && std::isfinite(demo.EndTime)) ends.EndTime = demo.EndTime;
  if (demo.Tracker && !demo.Tracker->Channels.empty())
    ends.TrackEnd = demo.Tracker->RowCount(0) * secondsPerRow;
  if (music && music->SampleRate > 0 && music->FrameCount() > 0)
    ends.MusicEnd = static_cast<double>(music->FrameCount()) / music->SampleRate;
  for (const TScriptBar& bar : demo.Bars)
    ends.BarsEnd = std::max(ends.BarsEnd, (static_cast<double>(bar.Mount) +
                                           std::max<int32_t>(bar.Length, 0)) * secondsPerRow);
  return ends;
}

// Where the demo stops: at its end time or the end of its demotrack, whichever comes first
// (-1: neither).
double PlayEnd(const TEnds& ends) {
  double end = ends.EndTime;
  if (ends.TrackEnd >= 0 && (end < 0 || ends.TrackEnd < end)) end = ends.TrackEnd;
  return end;
}

TScale MakeScale(const TVDemo& demo, const TPcm16* music) {
  TScale scale;
  const double bpm = demo.Tracker ? demo.Tracker->BPM : 0.0;
  scale.TempoKnown = std::isfinite(bpm) && bpm > 0;
  scale.SecondsPerRow = 15.0 / (scale.TempoKnown ? bpm : kFallbackBpm);
  const TEnds ends = FindEnds(demo, music, scale.SecondsPerRow);
  double end = PlayEnd(ends);
  if (!(end > 0)) end = ends.MusicEnd > 0 ? ends.MusicEnd : ends.BarsEnd;
  // A start time at or past the end (which --check warns about) shows the whole production.
  const double start = demo.StartTime;
  scale.Start = std::isfinite(start) && start > 0 && start < end ? start : 0.0;
  scale.Span = end - scale.Start;
  if (!(scale.Span > 0)) scale.Span = 10.0;
  scale.Span = std::min(scale.Span, kMaxSpanSeconds);
  scale.PixelsPerSecond = std::min(std::max(kPixelsPerSecond, kMinPlotWidth / scale.Span),
                                   kMaxPlotWidth / scale.Span);
  scale.PlotWidth = std::ceil(scale.Span * scale.PixelsPerSecond);
  return scale;
}

std::string Text(double x, double y, const std::string& attributes, const std::string& text) {
  return "<text x=\"" + Px(x) + "\" y=\"" + Px(y) + "\" " + attributes + ">" + text + "</text>\n";
}

// Seconds and 64-row marks: labels in the axis band, lines down to `bottom`.
std::string DrawAxis(const TScale& scale, double bottom) {
  std::string svg = "<g class=\"axis\">\n";
  svg += Text(8, kAxisTop + 12, "class=\"caption\"", "seconds");
  const double labelRoom =
      kTypeCharWidth * std::to_string(static_cast<int64_t>(scale.End())).size();
  const double secondStep = MarkStep(scale.PixelsPerSecond, labelRoom + 14,
                                     {1, 2, 5, 10, 15, 30, 60, 120, 300, 600});
  for (double t = std::ceil(scale.Start / secondStep - 1e-9) * secondStep;
       t <= scale.End() + 1e-9; t += secondStep) {
    const double x = scale.X(t);
    svg += "<line class=\"second\" x1=\"" + Px(x) + "\" y1=\"" + Px(kAxisTop + 16) + "\" x2=\"" +
           Px(x) + "\" y2=\"" + Px(bottom) + "\"/>\n";
    svg += Text(x + 2, kAxisTop + 12, "", std::to_string(static_cast<int64_t>(t)));
  }
  // Rows are counted in 64s as MOUNT's first number counts them.
  svg += Text(8, kAxisTop + 28, "class=\"caption\"", "rows / 64");
  const double pixelsPerMark = 64 * scale.SecondsPerRow * scale.PixelsPerSecond;
  // Capped so that the numbers stay exact; a tempo that high has no readable marks anyway.
  const double marks = std::min(std::floor(scale.End() / (64 * scale.SecondsPerRow)), 1e15);
  const double markRoom = kTypeCharWidth * std::to_string(static_cast<int64_t>(marks)).size();
  const double markStep = MarkStep(pixelsPerMark, markRoom + 10, {1});
  const double firstMark = std::ceil(scale.Start / (64 * scale.SecondsPerRow) / markStep - 1e-9);
  for (double mark = firstMark * markStep; mark <= marks; mark += markStep) {
    const double x = scale.X(mark * 64 * scale.SecondsPerRow);
    svg += "<line class=\"rows\" x1=\"" + Px(x) + "\" y1=\"" + Px(kAxisTop + 18) + "\" x2=\"" +
           Px(x) + "\" y2=\"" + Px(bottom) + "\"/>\n";
    svg += Text(x + 2, kAxisTop + 28, "class=\"rowmark\"",
                std::to_string(static_cast<int64_t>(mark)));
  }
  return svg + "</g>\n";
}

// The music as the minimum and maximum of its samples in each pixel column.
std::string DrawWaveform(const TScale& scale, const TPcm16* music, const std::string& note) {
  std::string svg = "<g class=\"music\">\n";
  svg += Text(8, kWaveTop + kWaveHeight / 2 + 4, "class=\"caption\"", "music");
  const double middle = kWaveTop + kWaveHeight / 2;
  svg += "<line class=\"zero\" x1=\"" + Px(kLeft) + "\" y1=\"" + Px(middle) + "\" x2=\"" +
         Px(kLeft + scale.PlotWidth) + "\" y2=\"" + Px(middle) + "\"/>\n";
  if (!note.empty()) svg += Text(kLeft + 6, middle - 6, "class=\"note\"", XmlText(note));
  const int64_t frames = music ? music->FrameCount() : 0;
  if (frames > 0 && music->SampleRate > 0) {
    std::string path;
    const int64_t columns = static_cast<int64_t>(scale.PlotWidth);
    const double framesPerColumn = music->SampleRate / scale.PixelsPerSecond;
    const double startFrame = scale.Start * music->SampleRate;
    for (int64_t column = 0; column < columns; ++column) {
      const int64_t first = static_cast<int64_t>(startFrame + column * framesPerColumn);
      if (first >= frames) break;
      const int64_t last = std::min<int64_t>(
          frames, std::max<int64_t>(first + 1, static_cast<int64_t>(
                                                   startFrame + (column + 1) * framesPerColumn)));
      int low = 32767, high = -32768;
      const size_t end = static_cast<size_t>(last * music->Channels);
      for (size_t i = static_cast<size_t>(first * music->Channels); i < end; ++i) {
        low = std::min<int>(low, music->Samples[i]);
        high = std::max<int>(high, music->Samples[i]);
      }
      const double top = middle - high / 32768.0 * (kWaveHeight / 2);
      const double bottom = std::max(top + 1, middle - low / 32768.0 * (kWaveHeight / 2));
      path += "M" + Px(kLeft + column + 0.5) + " " + Px(top) + "V" + Px(bottom);
    }
    svg += "<path class=\"wave\" d=\"" + path + "\"/>\n";
  }
  return svg + "</g>\n";
}

// Each channel a band with a tick at every row holding a value other than 0, coloured by the
// value; one tick per pixel column at most.
std::string DrawChannels(const TVDemo& demo, const TScale& scale, double top) {
  std::string svg = "<g class=\"demotrack\">\n";
  const size_t channels = demo.Tracker ? demo.Tracker->Channels.size() : 0;
  for (size_t c = 0; c < std::min(channels, kMaxChannelsDrawn); ++c) {
    const double y = top + static_cast<double>(c) * kChannelHeight;
    svg += Text(8, y + 8, "class=\"channel\"", "ch " + std::to_string(c));
    std::map<uint8_t, std::string> ticks;
    const std::vector<uint8_t>& rows = demo.Tracker->Channels[c];
    int64_t lastColumn = -1;
    const size_t firstRow = static_cast<size_t>(std::min<double>(
        rows.size(), std::max(0.0, std::ceil(scale.Start / scale.SecondsPerRow - 1e-9))));
    for (size_t row = firstRow; row < rows.size(); ++row) {
      const double t = static_cast<double>(row) * scale.SecondsPerRow;
      if (t > scale.End()) break;
      if (rows[row] == 0) continue;
      const double x = scale.X(t);
      const int64_t column = static_cast<int64_t>(x);
      if (column == lastColumn) continue;
      lastColumn = column;
      ticks[rows[row]] += "M" + Px(x + 0.5) + " " + Px(y + 1) + "V" + Px(y + kChannelHeight - 1);
    }
    for (const auto& [value, path] : ticks)
      svg += "<path class=\"tick\" stroke=\"" + HslColor(value * 47.0, 0.8, 0.65) + "\" d=\"" +
             path + "\"><title>value " + std::to_string(value) + "</title></path>\n";
  }
  if (channels > kMaxChannelsDrawn)
    svg += Text(kLeft + 6, top + kMaxChannelsDrawn * kChannelHeight + 9, "class=\"note\"",
                std::to_string(channels - kMaxChannelsDrawn) + " more channels not drawn");
  return svg + "</g>\n";
}

std::string SlotType(const TVDemo& demo, int32_t slot) {
  if (slot < 0 || static_cast<size_t>(slot) >= demo.EffectSlots.size() ||
      !demo.EffectSlots[static_cast<size_t>(slot)])
    return "";
  return static_cast<size_t>(slot) < demo.SlotTypes.size() ? demo.SlotTypes[static_cast<size_t>(slot)]
                                                            : "";
}

// Where a bar is drawn: its pixel span, at least kMinBarWidth wide and inside the picture.
struct TBarPlace {
  double X0 = 0, X1 = 0;
};

// The time a bar ends.
double BarEnd(const TScriptBar& bar, const TScale& scale) {
  return (static_cast<double>(bar.Mount) + std::max<int32_t>(bar.Length, 0)) *
         scale.SecondsPerRow;
}

TBarPlace PlaceBar(const TScriptBar& bar, const TScale& scale) {
  TBarPlace place;
  place.X0 = std::min(scale.X(bar.Mount * scale.SecondsPerRow),
                      kLeft + scale.PlotWidth - kMinBarWidth);
  place.X1 = std::max(scale.X(BarEnd(bar, scale)), place.X0 + kMinBarWidth);
  return place;
}

// The envelope of one input mapping over the bar's pixel columns, as a polyline (empty when it
// cannot be drawn: no tempo, a channel the demotrack lacks, a bar outside the picture, or more
// rows than the budget left).
std::string DrawEnvelope(const TVDemo& demo, const TScale& scale, const TScriptBar& bar,
                         const TInputMap& map, const TBarPlace& place, double top,
                         double& rowBudget) {
  const TDemoTracker* tracker = demo.Tracker;
  if (!scale.TempoKnown || !tracker || bar.Mount * scale.SecondsPerRow >= scale.End() ||
      BarEnd(bar, scale) <= scale.Start ||
      map.Channel < 0 ||
      static_cast<size_t>(map.Channel) >= tracker->Channels.size())
    return "";
  const double rowsPerSample = std::min<double>(
      tracker->RowCount(map.Channel),
      (std::fabs(map.Width) + std::fabs(map.LookAhead)) / scale.SecondsPerRow + 5);
  const double samples = std::floor(place.X1 - place.X0) + 1;
  if (!std::isfinite(rowsPerSample) || rowsPerSample * samples > rowBudget) return "";
  rowBudget -= rowsPerSample * samples;
  std::string points;
  for (double x = place.X0; x <= place.X1 + 1e-9; x += 1.0) {
    const double t = scale.Time(x);
    const float value = tracker->Envelope(map.Channel, map.Note, map.Width, map.LookAhead,
                                          static_cast<float>(t));
    const double level = std::max(0.0, std::min(1.0, static_cast<double>(value)));
    points += Px(x) + "," + Px(top + kLaneHeight - 2 - level * (kLaneHeight - 4)) + " ";
  }
  return points;
}

// The tooltip of a bar: everything its lane may be too narrow to show.
std::string BarTitle(const TScriptBar& bar, const std::string& type, const TScale& scale,
                     const std::string& skipped) {
  std::string title = bar.Name + " \xE2\x80\x94 slot " + std::to_string(bar.Effect) + " (" +
                      (type.empty() ? "empty slot" : type) + "), rows " +
                      std::to_string(bar.Mount) + " +" + std::to_string(bar.Length) + ", " +
                      SvgNumber(bar.Mount * scale.SecondsPerRow) + " s, line " +
                      std::to_string(bar.Line);
  for (int k = 0; k < kEffectInputCount; ++k) {
    const TInputMap& map = bar.InputMaps[k];
    if (map.Enabled)
      title += "; input " + std::to_string(k) + ": channel " + std::to_string(map.Channel) +
               " note " + std::to_string(map.Note);
  }
  return XmlText(title + skipped);
}

std::string DrawBars(const TVDemo& demo, const TScale& scale, double top, int& rowCount) {
  std::vector<TBarPlace> places;
  std::vector<std::pair<double, double>> spans;
  for (const TScriptBar& bar : demo.Bars) {
    places.push_back(PlaceBar(bar, scale));
    spans.emplace_back(places.back().X0, places.back().X1);
  }
  const std::vector<int> rows = StackLanes(spans);
  rowCount = rows.empty() ? 0 : *std::max_element(rows.begin(), rows.end()) + 1;
  std::string svg = "<g class=\"bars\">\n";
  svg += Text(8, top + 20, "class=\"caption\"", "bars");
  double rowBudget = kEnvelopeRowBudget;
  for (size_t i = 0; i < demo.Bars.size(); ++i) {
    const TScriptBar& bar = demo.Bars[i];
    const TBarPlace& place = places[i];
    const std::string type = SlotType(demo, bar.Effect);
    const double y = top + rows[i] * (kLaneHeight + kLaneGap);
    const double width = place.X1 - place.X0;
    std::string envelopes, skipped;
    for (int k = 0; k < kEffectInputCount; ++k) {
      if (!bar.InputMaps[k].Enabled) continue;
      const std::string points = DrawEnvelope(demo, scale, bar, bar.InputMaps[k], place, y, rowBudget);
      if (points.empty()) {
        skipped += "; input " + std::to_string(k) + " not drawn";
        continue;
      }
      envelopes += "<polyline class=\"envelope\" stroke=\"" +
                   std::string(kInputColors[k % std::size(kInputColors)]) + "\" points=\"" +
                   points + "\"/>\n";
    }
    svg += "<g class=\"bar\" data-line=\"" + std::to_string(bar.Line) + "\" data-row=\"" +
           std::to_string(rows[i]) + "\">\n<title>" + BarTitle(bar, type, scale, skipped) +
           "</title>\n";
    svg += "<rect x=\"" + Px(place.X0) + "\" y=\"" + Px(y) + "\" width=\"" + Px(width) +
           "\" height=\"" + Px(kLaneHeight) + "\" fill=\"" + TypeColor(type) + "\"/>\n";
    svg += envelopes;
    // Labels are cut to the bar, so neighbours in a lane row never overlap.
    const double room = std::max(0.0, width - 6);
    const std::string name = FittedXmlText(bar.Name.empty() ? "(no name)" : bar.Name,
                                           static_cast<size_t>(room / kNameCharWidth));
    const std::string detail =
        FittedXmlText("slot " + std::to_string(bar.Effect) + " \xC2\xB7 " +
                          (type.empty() ? "empty" : type),
                      static_cast<size_t>(room / kTypeCharWidth));
    if (!name.empty()) svg += Text(place.X0 + 3, y + 12, "class=\"name\"", name);
    if (!detail.empty()) svg += Text(place.X0 + 3, y + 25, "class=\"detail\"", detail);
    svg += "</g>\n";
  }
  return svg + "</g>\n";
}

// The effect types in the picture and the end lines, wrapped to the picture's width.
std::string DrawLegend(const TVDemo& demo, const TScale& scale, const TEnds& ends, double top,
                       double width, double& bottom) {
  std::vector<std::pair<std::string, std::string>> items;  // colour, text
  std::vector<std::string> types;
  for (const TScriptBar& bar : demo.Bars) {
    const std::string type = SlotType(demo, bar.Effect);
    if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
  }
  for (const std::string& type : types)
    items.emplace_back(TypeColor(type), type.empty() ? "empty slot" : type);
  std::string svg = "<g class=\"legend\">\n";
  double x = kLeft, y = top;
  for (const auto& [color, text] : items) {
    const double itemWidth = 18 + text.size() * kTypeCharWidth + 16;
    if (x + itemWidth > width && x > kLeft) x = kLeft, y += 18;
    svg += "<rect x=\"" + Px(x) + "\" y=\"" + Px(y - 9) + "\" width=\"12\" height=\"12\" fill=\"" +
           color + "\"/>\n";
    svg += Text(x + 18, y + 1, "class=\"detail\"", XmlText(text));
    x += itemWidth;
  }
  // The lines where the demo stops, drawn across the picture, named here.
  struct TEndLine {
    double Seconds;
    const char* Name;
    const char* Class;
  };
  const TEndLine lines[] = {{ends.EndTime, "end time", "endtime"},
                            {ends.TrackEnd, "end of the demotrack", "trackend"}};
  std::string marks;
  for (const TEndLine& line : lines) {
    if (line.Seconds < 0) continue;
    const double seconds = line.Seconds;
    const std::string cls = line.Class, name = line.Name;
    // An end past the picture (the other end comes first) is named without a line.
    if (seconds <= scale.End() + 1e-6)
      marks += "<line class=\"" + cls + "\" x1=\"" + Px(scale.X(seconds)) + "\" y1=\"" +
               Px(kAxisTop + 16) + "\" x2=\"" + Px(scale.X(seconds)) + "\" y2=\"" +
               Px(top - 22) + "\"/>\n";
    const std::string text = name + " " + SvgNumber(seconds) + " s";
    const double itemWidth = 22 + text.size() * kTypeCharWidth + 16;
    if (x + itemWidth > width && x > kLeft) x = kLeft, y += 18;
    svg += "<line class=\"" + cls + "\" x1=\"" + Px(x) + "\" y1=\"" + Px(y - 3) + "\" x2=\"" +
           Px(x + 16) + "\" y2=\"" + Px(y - 3) + "\"/>\n";
    svg += Text(x + 22, y + 1, "class=\"detail\"", text);
    x += itemWidth;
  }
  bottom = y + 14;
  return marks + svg + "</g>\n";
}

// One lane for each track the script uses, its curve drawn over the picture's columns between
// the track's least and greatest value; past kMaxTracksDrawn the rest are counted.
constexpr size_t kMaxTracksDrawn = 24;
constexpr double kCurveHeight = 30.0;

std::string DrawTrackCurves(const TVDemo& demo, const TScale& scale, double top,
                            double& bottom) {
  const std::vector<std::string> names = demo.Tracks.UsedNames();
  bottom = top;
  if (names.empty()) return std::string();
  std::string svg = Text(8, top + 10, "class=\"caption\"", "tracks");
  // Track rows from the picture's own row time, so that a script without a tempo still draws.
  const double rowsPerSecond = demo.Tracks.RowsPerBeat / 4.0 / scale.SecondsPerRow;
  const size_t drawn = std::min(names.size(), kMaxTracksDrawn);
  for (size_t i = 0; i < drawn; ++i) {
    const TKeyedTrack* track = demo.Tracks.Set.Find(names[i]);
    const double y = top + static_cast<double>(i) * (kCurveHeight + kLaneGap);
    std::vector<double> values;
    for (double x = kLeft; x <= kLeft + scale.PlotWidth; x += 1.0)
      values.push_back(track ? track->ValueAt(scale.Time(x) * rowsPerSecond) : 0.0);
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const double range = *high - *low;
    std::string points;
    for (size_t k = 0; k < values.size(); ++k) {
      const double level = range > 0 ? (values[k] - *low) / range : 0.5;
      points += Px(kLeft + static_cast<double>(k)) + "," +
                Px(y + kCurveHeight - 2 - level * (kCurveHeight - 4)) + " ";
    }
    svg += "<rect x=\"" + Px(kLeft) + "\" y=\"" + Px(y) + "\" width=\"" + Px(scale.PlotWidth) +
           "\" height=\"" + Px(kCurveHeight) + "\" fill=\"#1d2129\"/>\n";
    svg += "<polyline class=\"curve\" stroke=\"" + HslColor(37.0 * static_cast<double>(i), 0.7, 0.65) +
           "\" points=\"" + points + "\"/>\n";
    svg += Text(kLeft + 4, y + 11, "class=\"detail\"",
                XmlText(names[i] + (track && !track->Keys().empty() ? "" : " (no keys: 0)")));
    // The range at the lane's right end, clear of the band captions on the left.
    const double right = kLeft + scale.PlotWidth - 4;
    svg += Text(right, y + 11, "class=\"channel\" text-anchor=\"end\"", XmlText(SvgNumber(*high)));
    svg += Text(right, y + kCurveHeight - 3, "class=\"channel\" text-anchor=\"end\"",
                XmlText(SvgNumber(*low)));
  }
  bottom = top + static_cast<double>(drawn) * (kCurveHeight + kLaneGap);
  if (names.size() > drawn) {
    svg += Text(kLeft + 6, bottom + 9, "class=\"note\"",
                std::to_string(names.size() - drawn) + " more tracks not drawn");
    bottom += 14;
  }
  return svg;
}

const char* const kStyle =
    "<style>\n"
    "text{font-family:'DejaVu Sans Mono',monospace;font-size:10px;fill:#d8dce4}\n"
    ".title{font-size:16px;font-weight:bold}.info{font-size:11px;fill:#9aa3b2}\n"
    ".caption{fill:#9aa3b2}.rowmark{fill:#8fb3ff}.note{fill:#ffb070}\n"
    ".channel{font-size:9px;fill:#9aa3b2}\n"
    ".name{font-size:11px;font-weight:bold;fill:#ffffff}.detail{fill:#e8eaf0}\n"
    // An outline keeps labels readable over the envelopes.
    ".bar text{paint-order:stroke;stroke:#15171c;stroke-width:3px;stroke-linejoin:round}\n"
    "line{stroke-width:1}.second{stroke:#2a2f3a}.rows{stroke:#4a5a80;stroke-dasharray:3 3}\n"
    ".zero{stroke:#3a4150}.wave{stroke:#7fc8a9;stroke-width:1;fill:none}\n"
    ".tick{stroke-width:1;fill:none}\n"
    ".endtime{stroke:#ff5a5a;stroke-width:2}.trackend{stroke:#ffb070;stroke-width:2;"
    "stroke-dasharray:6 3}\n"
    ".envelope{fill:none;stroke-width:1.2;opacity:0.6}\n"
    ".curve{fill:none;stroke-width:1.4}\n"
    "</style>\n";

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<int> StackLanes(const std::vector<std::pair<double, double>>& spans) {
  // Each row keeps its spans sorted by their first x; none of them overlap.
  std::vector<std::map<double, double>> taken;
  std::vector<int> rows;
  for (const auto& [first, last] : spans) {
    size_t row = 0;
    for (; row < taken.size(); ++row) {
      const std::map<double, double>& used = taken[row];
      auto next = used.lower_bound(first);
      if (next != used.end() && next->first < last) continue;
      if (next != used.begin() && std::prev(next)->second > first) continue;
      break;
    }
    if (row == taken.size()) taken.emplace_back();
    taken[row].emplace(first, last);
    rows.push_back(static_cast<int>(row));
  }
  return rows;
}

std::string TimelineSvg(const TVDemo& demo, const TPcm16* music, const std::string& musicNote) {
  const TScale scale = MakeScale(demo, music);
  const TEnds ends = FindEnds(demo, music, scale.SecondsPerRow);
  const double width = kLeft + scale.PlotWidth + kRight;
  const size_t channels = demo.Tracker ? demo.Tracker->Channels.size() : 0;
  const double channelsTop = kWaveTop + kWaveHeight + 8;
  const double barsTop = channelsTop +
                         static_cast<double>(std::min(channels, kMaxChannelsDrawn)) * kChannelHeight +
                         (channels > kMaxChannelsDrawn ? 14 : 0) + 12;
  int rowCount = 0;
  const std::string bars = DrawBars(demo, scale, barsTop, rowCount);
  const double barsBottom = barsTop + std::max(rowCount, 1) * (kLaneHeight + kLaneGap);
  double curvesBottom = barsBottom;
  const std::string curves = DrawTrackCurves(demo, scale, barsBottom + 8, curvesBottom);
  double height = 0;
  const std::string legend = DrawLegend(demo, scale, ends, curvesBottom + 24, width, height);
  height += 8;

  const double end = PlayEnd(ends);
  std::string info = scale.Start > 0 ? "starts at " + SvgNumber(scale.Start) + " s \xC2\xB7 " : "";
  info += end >= 0 ? "ends at " + SvgNumber(end) + " s" : std::string("no end time");
  info += scale.TempoKnown ? " \xC2\xB7 " + SvgNumber(60.0 / 4 / scale.SecondsPerRow) + " BPM"
                           : " \xC2\xB7 no BPM: rows placed at 120 BPM";
  info += " \xC2\xB7 " + std::to_string(demo.Bars.size()) +
          (demo.Bars.size() == 1 ? " bar" : " bars") + " \xC2\xB7 " + std::to_string(channels) +
          (channels == 1 ? " channel" : " channels");
  if (!demo.MusicFile.empty()) info += " \xC2\xB7 " + demo.MusicFile;
  const auto late = std::count_if(demo.Bars.begin(), demo.Bars.end(), [&](const TScriptBar& bar) {
    return bar.Mount * scale.SecondsPerRow >= scale.End();
  });
  if (late > 0)
    info += " \xC2\xB7 " + std::to_string(late) + (late == 1 ? " bar starts" : " bars start") +
            " past the picture's end (drawn at its right edge)";
  const auto early = std::count_if(demo.Bars.begin(), demo.Bars.end(), [&](const TScriptBar& bar) {
    return BarEnd(bar, scale) <= scale.Start;
  });
  if (early > 0)
    info += " \xC2\xB7 " + std::to_string(early) + (early == 1 ? " bar ends" : " bars end") +
            " before the start time (drawn at the left edge)";

  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Px(width) + "\" height=\"" +
         Px(height) + "\" viewBox=\"0 0 " + Px(width) + " " + Px(height) + "\">\n";
  svg += kStyle;
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#15171c\"/>\n";
  svg += Text(8, 22, "class=\"title\"",
              XmlText(demo.DemoName.empty()
                          ? BaseName(demo.ScriptFile)
                          : demo.DemoName + " \xE2\x80\x94 " + BaseName(demo.ScriptFile)));
  svg += Text(8, 40, "class=\"info\"", XmlText(info));
  svg += DrawAxis(scale, curvesBottom);
  svg += DrawWaveform(scale, music, musicNote);
  svg += DrawChannels(demo, scale, channelsTop);
  svg += bars;
  svg += curves;
  svg += legend;
  return svg + "</svg>\n";
}

void WriteTimelinePicture(const std::string& scriptFile, const std::string& svgFile) {
  // Script errors are listed with their line; nothing waits for a box.
  const TScriptErrorScope errors([](const TScriptLocation& where, const std::string& text) {
    std::string prefix = where.File.empty() ? "" : where.File + ":";
    if (where.Line > 0) prefix += std::to_string(where.Line) + ":";
    std::fprintf(stderr, "%s%s\n", prefix.empty() ? "" : (prefix + " ").c_str(), text.c_str());
  });
  TReadOnlyHost host;
  TVDemo demo(scriptFile, host);

  TPcm16 music;
  std::string note;
  if (!demo.MusicFile.empty()) {
    std::string reason;
    // Read from the folder the script ends in, as the player's effects are.
    if (!DecodeAudioFile(demo.ReadContext.PathOf(demo.MusicFile), music, reason)) {
      note = "music " + demo.MusicFile + " not drawn: " + reason;
      std::fprintf(stderr, "vorpane: %s\n", note.c_str());
      music = TPcm16();
    }
  }
  const std::string svg = TimelineSvg(demo, &music, note);
  std::FILE* file = std::fopen(svgFile.c_str(), "wb");
  const bool written = file && std::fwrite(svg.data(), 1, svg.size(), file) == svg.size();
  const int error = errno;
  if (file && std::fclose(file) != 0 && written)
    throw FatalError("Cannot write " + svgFile + ": " + std::strerror(errno));
  if (!written) throw FatalError("Cannot write " + svgFile + ": " + std::strerror(error));
}
