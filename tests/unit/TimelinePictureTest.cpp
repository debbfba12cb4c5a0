// The timeline picture: XML text, lane stacking, and the SVG drawn from a script.
#include "authoring/ReadOnlyHost.h"
#include "authoring/SvgText.h"
#include "authoring/TimelinePicture.h"
#include "demo/Vorpane.h"
#include "platform/Dialogs.h"
#include "platform/FatalError.h"
#include "support/TestSystem.h"
#include "support/WorkingFolder.h"

#include "common/Demotrack.h"
#include "common/TestAudio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

namespace {

// One bar as the picture draws it.
struct TDrawnBar {
  int Line = 0, Row = 0;
  double X = 0, Y = 0, Width = 0;
  std::string Fill, Title, Name, Detail, Body;
};

std::string Attribute(const std::string& element, const std::string& name) {
  const std::string key = " " + name + "=\"";
  const size_t at = element.find(key);
  if (at == std::string::npos) return "";
  const size_t start = at + key.size();
  return element.substr(start, element.find('"', start) - start);
}

std::string TextOf(const std::string& body, const std::string& cls) {
  const size_t at = body.find("class=\"" + cls + "\">");
  if (at == std::string::npos) return "";
  const size_t start = body.find('>', at) + 1;
  return body.substr(start, body.find("</text>", start) - start);
}

std::vector<TDrawnBar> DrawnBars(const std::string& svg) {
  std::vector<TDrawnBar> bars;
  const std::string open = "<g class=\"bar\"";
  for (size_t at = svg.find(open); at != std::string::npos; at = svg.find(open, at + 1)) {
    const std::string body = svg.substr(at, svg.find("</g>", at) - at);
    TDrawnBar bar;
    bar.Body = body;
    bar.Line = std::stoi(Attribute(body, "data-line"));
    bar.Row = std::stoi(Attribute(body, "data-row"));
    const std::string rect = body.substr(body.find("<rect"));
    bar.X = std::stod(Attribute(rect, "x"));
    bar.Y = std::stod(Attribute(rect, "y"));
    bar.Width = std::stod(Attribute(rect, "width"));
    bar.Fill = Attribute(rect, "fill");
    bar.Title = body.substr(body.find("<title>") + 7, body.find("</title>") - body.find("<title>") - 7);
    bar.Name = TextOf(body, "name");
    bar.Detail = TextOf(body, "detail");
    bars.push_back(bar);
  }
  return bars;
}

// Characters of UTF-8 text with its entities counted as one.
size_t Characters(const std::string& xml) {
  size_t count = 0;
  for (size_t i = 0; i < xml.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(xml[i]);
    if (c == '&') i = xml.find(';', i);
    if ((c & 0xC0) != 0x80) ++count;
  }
  return count;
}

// The y values of a polyline's points.
std::vector<double> PointHeights(const std::string& polyline) {
  std::vector<double> heights;
  std::stringstream points(Attribute(polyline, "points"));
  std::string point;
  while (points >> point) heights.push_back(std::stod(point.substr(point.find(',') + 1)));
  return heights;
}

std::unique_ptr<TVDemo> ReadOnlyDemo(const std::string& folder, const std::string& script) {
  WriteTextFile(folder, "test.vrp", script);
  TReadOnlyHost host;
  return std::make_unique<TVDemo>(folder + "/test.vrp", host);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(TimelinePicture, TextIsValidEscapedXmlAndLabelsAreCutToTheirRoom) {
  EXPECT_EQ(XmlText("a<b>&\"'c"), "a&lt;b&gt;&amp;&quot;&apos;c");
  EXPECT_EQ(XmlText("\xC3\x9C" "ber"), "\xC3\x9C" "ber");       // UTF-8 stays
  EXPECT_EQ(XmlText("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");         // 8-bit text read as Latin-1
  EXPECT_EQ(XmlText("a\x01z"), "a\xEF\xBF\xBDz");                 // not allowed in XML
  EXPECT_EQ(XmlText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xEF\xBF\xBD");  // a surrogate is no UTF-8
  EXPECT_EQ(XmlText("\xC0\xAF"), "\xC3\x80\xC2\xAF");           // nor an overlong form
  EXPECT_EQ(XmlText("a\tb\nc"), "a&#9;b&#10;c");
  EXPECT_EQ(XmlText(std::string("a\0b", 3)), "a\xEF\xBF\xBD" "b");

  EXPECT_EQ(FittedXmlText("abcdef", 6), "abcdef");
  EXPECT_EQ(FittedXmlText("abcdef", 4), "abc\xE2\x80\xA6");
  EXPECT_EQ(FittedXmlText("a&bc", 3), "a&amp;\xE2\x80\xA6");      // never half an entity
  EXPECT_EQ(FittedXmlText("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xE2\x80\xA6");  // nor half a character
  EXPECT_EQ(FittedXmlText("abc", 1), "\xE2\x80\xA6");
  EXPECT_EQ(FittedXmlText("abc", 0), "");

  EXPECT_EQ(SvgNumber(12.25), "12.3");
  EXPECT_EQ(SvgNumber(-3), "-3.0");
  EXPECT_EQ(SvgNumber(-0.04), "0.0");
  EXPECT_EQ(SvgNumber(std::nan("")), "0.0");
  EXPECT_EQ(SvgNumber(1e300), "1000000000000000.0");
}

TEST(TimelinePicture, LanesStackSoThatOverlappingSpansNeverShareARow) {
  EXPECT_EQ(StackLanes({{0, 10}, {5, 15}, {10, 20}, {0, 3}, {12, 14}}),
            (std::vector<int>{0, 1, 0, 1, 2}));
  EXPECT_TRUE(StackLanes({}).empty());

  // Random spans: no overlap within a row, and each span is in the lowest row it fits in.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> position(0, 1000), length(1, 120);
  std::vector<std::pair<double, double>> spans;
  for (int i = 0; i < 400; ++i) {
    const double first = position(random);
    spans.emplace_back(first, first + length(random));
  }
  const std::vector<int> rows = StackLanes(spans);
  ASSERT_EQ(rows.size(), spans.size());
  const auto overlap = [&](size_t a, size_t b) {
    return spans[a].first < spans[b].second && spans[b].first < spans[a].second;
  };
  for (size_t i = 0; i < spans.size(); ++i) {
    for (size_t j = 0; j < i; ++j)
      EXPECT_FALSE(rows[i] == rows[j] && overlap(i, j)) << i << " and " << j;
    for (int lower = 0; lower < rows[i]; ++lower) {
      bool blocked = false;
      for (size_t j = 0; j < i; ++j) blocked = blocked || (rows[j] == lower && overlap(i, j));
      EXPECT_TRUE(blocked) << "span " << i << " could have gone to row " << lower;
    }
  }
}

TEST(TimelinePicture, OneLanePerBarLabelledAndColouredByEffectType) {
  const std::string folder = MakeTempFolder();
  WorkingFolder here(folder);  // the script's file names are relative to it, as when played
  // 128 rows at 120 BPM (16 s); channel 0 has note 1 on every beat.
  TDemotrackGrid grid(2, std::vector<uint8_t>(128, 0));
  for (size_t row = 0; row < 128; row += 4) grid[0][row] = 1;
  grid[1][64] = 9;
  ASSERT_TRUE(WriteDemotrack(folder + "/beat.trk", grid));
  std::vector<std::pair<int, std::string>> errors;
  SetScriptErrorHandler([&](const TScriptLocation& where, const std::string& text) {
    errors.emplace_back(where.Line, text);
  });
  const auto demo = ReadOnlyDemo(
      folder,
      "DEMO Test & <Co>\nINIT\nTRACKER beat.trk\nBPM 120\n"
      "LOAD flash 1\nLOAD plaincolor 2\nLOAD flash 3\n"
      "BAR <kick> & \"snare\"\nMOUNT 0\nLENGTH 1\nEFFECT 1\nINPUT 0 0 1 100 0\n"  // line 8: 0-8 s
      "BAR second\nMOUNT 0 2\nLENGTH 1\nEFFECT 2\n"                                // 4-12 s
      "BAR third\nMOUNT 1\nLENGTH 1\nEFFECT 3\n"                                   // 8-16 s
      "BAR nowhere\nMOUNT 0 1\nLENGTH 0 2\nEFFECT 9\n"                             // 2-6 s
      "BAR a rather long name for a bar of one row\nMOUNT 0 0 0 1\nLENGTH 0 0 0 1\nEFFECT 1\n"
      "INPUT 0 7 1 100 0\n"                                                       // no channel 7
      "BAR after a bad line\nMOUNT 1x\nLENGTH 0 0 1\nEFFECT 2\n");
  SetScriptErrorHandler(nullptr);
  // The line that stops a normal read is reported and the read goes on.
  ASSERT_EQ(errors.size(), 1u) << errors[1].second;
  EXPECT_EQ(errors[0].first, 31);
  EXPECT_EQ(errors[0].second, "'1x' is not a valid integer value");

  const std::string svg = TimelineSvg(*demo, nullptr, "");
  const std::vector<TDrawnBar> bars = DrawnBars(svg);
  ASSERT_EQ(bars.size(), 6u);
  const int lines[] = {8, 13, 17, 21, 25, 30};
  for (size_t i = 0; i < bars.size(); ++i) EXPECT_EQ(bars[i].Line, lines[i]);  // script order
  EXPECT_EQ(bars[0].Name, "&lt;kick&gt; &amp; &quot;snare&quot;");
  EXPECT_EQ(svg.find("<kick>"), std::string::npos);
  EXPECT_NE(svg.find("Test &amp; &lt;Co&gt; \xE2\x80\x94 test.vrp"), std::string::npos);
  EXPECT_EQ(bars[0].Detail, "slot 1 \xC2\xB7 flash");
  EXPECT_EQ(bars[1].Detail, "slot 2 \xC2\xB7 plaincolor");
  EXPECT_EQ(bars[3].Detail, "slot 9 \xC2\xB7 empty");
  // One colour per type, the same for every bar of the type.
  EXPECT_EQ(bars[0].Fill, bars[2].Fill);
  EXPECT_EQ(bars[0].Fill, bars[4].Fill);
  EXPECT_NE(bars[0].Fill, bars[1].Fill);
  EXPECT_NE(bars[3].Fill, bars[0].Fill);
  EXPECT_NE(bars[3].Fill, bars[1].Fill);
  // Overlapping bars are in other rows; the third follows the first in its row.
  EXPECT_EQ(bars[0].Row, 0);
  EXPECT_EQ(bars[1].Row, 1);
  EXPECT_EQ(bars[2].Row, 0);
  EXPECT_NEAR(bars[2].X, bars[0].X + bars[0].Width, 0.11);
  for (size_t i = 0; i < bars.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      const bool overlap = bars[i].X < bars[j].X + bars[j].Width && bars[j].X < bars[i].X + bars[i].Width;
      EXPECT_FALSE(bars[i].Row == bars[j].Row && overlap) << i << " " << j;
      EXPECT_EQ(bars[i].Row == bars[j].Row, bars[i].Y == bars[j].Y) << i << " " << j;
    }
    // A label never reaches past its bar.
    EXPECT_LE(Characters(bars[i].Name) * 6.6, bars[i].Width) << bars[i].Name;
    EXPECT_LE(Characters(bars[i].Detail) * 6.0, bars[i].Width) << bars[i].Detail;
  }
  // The one-row bar is too narrow for its name: the tooltip has it all.
  EXPECT_EQ(bars[4].Name, "");
  EXPECT_NE(bars[4].Title.find("a rather long name for a bar of one row"), std::string::npos);
  EXPECT_NE(bars[4].Title.find("input 0 not drawn"), std::string::npos);
  EXPECT_EQ(bars[4].Body.find("<polyline"), std::string::npos);

  // The kick envelope rises to 1 on each beat and falls to 0 between beats (100 ms each side of
  // a beat, beats every 500 ms).
  const std::string envelope = bars[0].Body.substr(bars[0].Body.find("<polyline"));
  const std::vector<double> heights = PointHeights(envelope);
  ASSERT_GT(heights.size(), 100u);
  const double bottom = bars[0].Y + 32 - 2, top = bars[0].Y + 2;
  EXPECT_NEAR(*std::max_element(heights.begin(), heights.end()), bottom, 0.11);
  EXPECT_NEAR(*std::min_element(heights.begin(), heights.end()), top, 3.0);
  const size_t low = static_cast<size_t>(std::count_if(heights.begin(), heights.end(),
                                                       [&](double y) { return y > bottom - 0.5; }));
  EXPECT_GT(low, heights.size() / 2);  // most of the time between beats is silent
  EXPECT_LT(low, heights.size() - 8);

  // Channels: ticks on channel 0 every beat, one value-9 tick on channel 1.
  EXPECT_NE(svg.find("ch 1</text>"), std::string::npos);
  EXPECT_EQ(svg.find("ch 2</text>"), std::string::npos);
  EXPECT_NE(svg.find("<title>value 9</title>"), std::string::npos);
  EXPECT_EQ(ErrorBoxCount(), 0);
}

TEST(TimelinePicture, MissingMusicAndDemotrackStillGiveAPicture) {
  const std::string folder = MakeTempFolder();
  WorkingFolder here(folder);
  WriteTextFile(folder, "test.vrp",
                "LOADMUSIC gone.ogg\nTRACKER gone.trk\nBPM 120\nLOAD plaincolor 1\n"
                "BAR alone\nMOUNT 1\nLENGTH 1\nEFFECT 1\nINPUT 0 0 1 100 0\n");
  WriteTimelinePicture(folder + "/test.vrp", folder + "/gone.svg");
  std::string svg = ReadFile(folder + "/gone.svg");
  ASSERT_EQ(DrawnBars(svg).size(), 1u);
  EXPECT_NE(svg.find("music gone.ogg not drawn: No such file or directory"), std::string::npos);
  EXPECT_EQ(svg.find("class=\"wave\""), std::string::npos);
  EXPECT_EQ(svg.rfind("</svg>\n"), svg.size() - 7);

  // With music: one min/max stroke per pixel column of its 4 s, and the picture long enough
  // for the music although the script has no end.
  TPcm16 clicks = MakeClickTrack(8000, 1, 4.0);
  std::string error;
  ASSERT_TRUE(WriteAudioFile(folder + "/clicks.wav", clicks, TAudioFormat::Wav, error)) << error;
  WriteTextFile(folder, "music.vrp", "LOADMUSIC clicks.wav\nLOAD flash 0\nBAR short\nLENGTH 0 1\n");
  WriteTimelinePicture(folder + "/music.vrp", folder + "/music.svg");
  svg = ReadFile(folder + "/music.svg");
  const size_t wave = svg.find("<path class=\"wave\" d=\"");
  ASSERT_NE(wave, std::string::npos);
  const std::string path = svg.substr(wave, svg.find("\"/>", wave) - wave);
  // 4 s over at least 600 pixels.
  EXPECT_EQ(std::count(path.begin(), path.end(), 'M'), 600);
  EXPECT_NE(svg.find("no BPM: rows placed at 120 BPM"), std::string::npos);
  // The clicks reach full scale: some column spans most of the 60-pixel band.
  double tallest = 0;
  for (size_t at = path.find('M'); at != std::string::npos; at = path.find('M', at + 1)) {
    double x = 0, top = 0, bottom = 0;
    ASSERT_EQ(std::sscanf(path.c_str() + at, "M%lf %lfV%lf", &x, &top, &bottom), 3);
    tallest = std::max(tallest, bottom - top);
  }
  EXPECT_GT(tallest, 50.0);

  // The picture shows the time that plays: 1 s to 4 s of a 10 s demotrack (80 rows at 120 BPM,
  // a note at 2.25 s), 600 pixels from x 78. A bar far past the end does not squeeze the rest:
  // it sits at the right edge.
  TDemotrackGrid tenSeconds(1, std::vector<uint8_t>(80, 0));
  tenSeconds[0][18] = 1;
  ASSERT_TRUE(WriteDemotrack(folder + "/ten.trk", tenSeconds));
  WriteTextFile(folder, "late.vrp",
                "STARTTIME 1\nENDTIME 400\nTRACKER ten.trk\nBPM 120\nLOAD flash 0\nBAR late\n"
                "MOUNT 1000\nLENGTH 1\nINPUT 0 0 1 100 0\nBAR early\nLENGTH 1\nBAR in\n"
                "MOUNT 0 1\nLENGTH 0 0 2\nINPUT 0 0 1 100 0\nBAR before\nLENGTH 0 0 1\n");
  WriteTimelinePicture(folder + "/late.vrp", folder + "/late.svg");
  svg = ReadFile(folder + "/late.svg");
  EXPECT_NE(svg.find(">starts at 1.0 s \xC2\xB7 ends at 4.0 s \xC2\xB7 120.0 BPM \xC2\xB7 4 bars "
                     "\xC2\xB7 1 channel \xC2\xB7 1 bar starts past the picture&apos;s end (drawn "
                     "at its right edge) \xC2\xB7 1 bar ends before the start time (drawn at the "
                     "left edge)<"),
            std::string::npos)
      << svg.substr(0, 1200);
  const std::vector<TDrawnBar> late = DrawnBars(svg);
  ASSERT_EQ(late.size(), 4u);
  EXPECT_NEAR(late[0].X + late[0].Width, 78 + 600, 0.11);
  EXPECT_NE(late[0].Title.find("input 0 not drawn"), std::string::npos);  // not its own time
  EXPECT_NEAR(late[1].Width, 600, 0.11);   // 0 to 8 s: all of it
  EXPECT_NEAR(late[2].X, 78 + 200, 0.11);  // 2 to 3 s
  EXPECT_NEAR(late[2].Width, 200, 0.11);
  // The envelope is read at the times drawn: its peak is 50 pixels in (2.25 s).
  const std::vector<double> heights = PointHeights(late[2].Body.substr(late[2].Body.find("<poly")));
  EXPECT_EQ(std::min_element(heights.begin(), heights.end()) - heights.begin(), 50);

  EXPECT_THROW(WriteTimelinePicture(folder + "/none.vrp", folder + "/none.svg"), FatalError);
  EXPECT_THROW(WriteTimelinePicture(folder + "/music.vrp", folder + "/no/such/folder.svg"),
               FatalError);
  EXPECT_EQ(ErrorBoxCount(), 0);
}

TEST(TimelinePicture, ReadingOnlyNamesEachSlotsTypeAndReadsNoFixedFiles) {
  const std::string folder = MakeTempFolder();
  WorkingFolder here(folder);
  // These types read their fixed pictures and models as they are created; without a context a
  // read-only reading must not touch them (none of the files is here either).
  const auto demo =
      ReadOnlyDemo(folder, "LOAD metaballs 3\nX 5\nLOAD pixelize 1\nLOAD fuck 5\nLOAD lines 0\n");
  ASSERT_EQ(demo->EffectSlots.size(), 6u);
  ASSERT_EQ(demo->SlotTypes.size(), 6u);
  EXPECT_EQ(demo->SlotTypes[0], "lines");
  EXPECT_EQ(demo->SlotTypes[1], "pixelize");
  EXPECT_EQ(demo->SlotTypes[2], "");
  EXPECT_EQ(demo->SlotTypes[3], "metaballs");
  EXPECT_EQ(demo->SlotTypes[5], "fuck");
  ASSERT_NE(demo->EffectSlots[3], nullptr);
  EXPECT_FLOAT_EQ(demo->EffectSlots[3]->X, 5.0f);
  EXPECT_EQ(ErrorBoxCount(), 0);
  // metaballs and fuck are one type: one colour.
  WriteTextFile(folder, "bars.vrp",
                "LOAD metaballs 3\nLOAD fuck 5\nBAR a\nLENGTH 1\nEFFECT 3\nBAR b\nLENGTH 1\nEFFECT 5\n");
  TReadOnlyHost host;
  const TVDemo bars(folder + "/bars.vrp", host);
  const std::vector<TDrawnBar> drawn = DrawnBars(TimelineSvg(bars, nullptr, ""));
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_EQ(drawn[0].Fill, drawn[1].Fill);
  EXPECT_EQ(drawn[1].Detail, "slot 5 \xC2\xB7 fuck");
}
