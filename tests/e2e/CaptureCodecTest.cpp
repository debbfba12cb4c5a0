// Each codec option a video capture takes reaches the file, as far as the installed ffmpeg
// offers the encoder; the colour tags follow the height.
#include <gtest/gtest.h>

#include "support/RunVorpane.h"
#include "support/SampleProduction.h"

namespace {

std::string Probe(const std::string& folder, const std::string& file) {
  const TRunResult probe = RunProgramIn(folder,
                                        {"/usr/bin/env", "ffprobe", "-v", "error", "-show_entries",
                                         "stream=codec_name,pix_fmt,color_space,color_primaries",
                                         "-of", "default=noprint_wrappers=1", file},
                                        60);
  EXPECT_EQ(probe.ExitStatus, 0) << probe.Stderr;
  return probe.Stdout;
}

}  // namespace

TEST(CaptureCodecs, EachOfferedCodecAndPixelFormatReachesTheFile) {
  const std::string production = MirrorSampleProduction();
  ASSERT_FALSE(production.empty());
  const std::string encoders =
      RunProgramIn(production, {"/usr/bin/env", "ffmpeg", "-hide_banner", "-encoders"}, 60).Stdout;
  struct TCase {
    const char* File;
    std::vector<std::string> Options;
    const char* Encoder;                // skipped when ffmpeg lacks it
    std::vector<std::string> Expected;  // lines ffprobe prints
  };
  const std::vector<TCase> cases = {
      {"a.mp4",
       {"--crf", "30", "--preset", "veryfast"},
       "libx264",
       {"codec_name=h264", "pix_fmt=yuv420p", "color_space=smpte170m", "codec_name=aac"}},
      {"b.mkv",
       {"--video-codec", "h265", "--pix-fmt", "yuv444p", "--audio-codec", "flac"},
       "libx265",
       {"codec_name=hevc", "pix_fmt=yuv444p", "codec_name=flac"}},
      {"c.webm",
       {"--audio-bitrate", "96k"},
       "libvpx-vp9",
       {"codec_name=vp9", "pix_fmt=yuv420p", "codec_name=opus"}},
      {"d.mp4",
       {"--video-codec", "av1", "--preset", "12"},
       " libsvtav1 ",
       {"codec_name=av1", "pix_fmt=yuv420p", "codec_name=aac"}},
      {"e.mkv",
       {"--video-codec", "ffv1", "--audio-codec", "pcm"},
       "ffv1",
       {"codec_name=ffv1", "pix_fmt=bgr0", "codec_name=pcm_s16le"}},
      {"f.mov",
       {"--video-codec", "prores", "--pix-fmt", "yuv444p"},
       "prores_ks",
       {"codec_name=prores", "color_space=smpte170m", "codec_name=aac"}},
  };
  for (const TCase& c : cases) {
    if (encoders.find(c.Encoder) == std::string::npos) continue;
    std::vector<std::string> arguments = {"--capture", c.File, "--fps",  "5",
                                          "--to",      "0.4",  "--quiet"};
    arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
    const TRunResult run = RunVorpaneIn(production, arguments, 200);
    ASSERT_EQ(run.ExitStatus, 0) << c.File << ": " << run.Stderr;
    const std::string info = Probe(production, c.File);
    for (const std::string& line : c.Expected)
      EXPECT_NE(info.find(line + "\n"), std::string::npos) << c.File << " lacks " << line << "\n"
                                                           << info;
  }

  // 720 lines and more are BT.709.
  WriteTextFile(production, "tall.vrp",
                "RESOLUTIONX 64\nRESOLUTIONY 720\nCOLORDEPTH 32\nINIT\nENDTIME 100\n");
  TRunResult run = RunVorpaneIn(production, {"--capture", "tall.mp4", "--fps", "10", "tall.vrp"});
  ASSERT_EQ(run.ExitStatus, 0) << run.Stderr;
  const std::string info = Probe(production, "tall.mp4");
  EXPECT_NE(info.find("color_space=bt709\ncolor_primaries=bt709\n"), std::string::npos) << info;

  // A codec the container cannot hold is refused in one line.
  run = RunVorpaneIn(production, {"--capture", "x.webm", "--video-codec", "prores", "--to", "1"});
  EXPECT_EQ(run.ExitStatus, 2);
  EXPECT_EQ(run.Stderr, "vorpane: prores video cannot go into .webm; use .mov or .mkv\n");
}
