#include "sync/ModuleNotes.h"

#include <libopenmpt/libopenmpt.h>
#include <libopenmpt/libopenmpt_ext.h>

#include <algorithm>
#include <map>
#include <memory>

namespace {

// The song is played silently at the rate the player plays it (ticks are a whole number of
// samples, so times depend on the rate), in steps of 2 ms: a row starts at most that long before
// it is seen, far less than a demotrack row.
constexpr int32_t kRenderRate = 44100;
constexpr size_t kStepFrames = 88;
// Note values of the pattern data: 1..120 are notes, above are note-off, cut, fade and the like.
constexpr uint8_t kHighestNote = 120;
// Instrument numbers of the pattern data are one byte; 0 names none.
constexpr int32_t kMostInstruments = 255;

struct TModuleDeleter {
  void operator()(openmpt_module_ext* module) const { openmpt_module_ext_destroy(module); }
};
using TModule = std::unique_ptr<openmpt_module_ext, TModuleDeleter>;

// A name as one printable line: control bytes become blanks, blanks around it go; an empty name
// is said by its number, as a tracker shows it.
std::string ChannelLabel(const char* name, const char* kind, int32_t number) {
  std::string label = name ? name : "";
  for (char& c : label)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  label.erase(label.find_last_not_of(' ') + 1);
  label.erase(0, label.find_first_not_of(' '));
  if (label.empty()) label = std::string(kind) + " " + std::to_string(number);
  return label;
}

// The instruments (or, in a module without instruments, the samples) as named channels.
bool NameInstruments(openmpt_module* m, TNoteEvents& out, std::string& error) {
  const int32_t instruments = openmpt_module_get_num_instruments(m);
  const bool samples = instruments <= 0;
  const int32_t count =
      std::min(samples ? openmpt_module_get_num_samples(m) : instruments, kMostInstruments);
  if (count <= 0) {
    error = "the module has no instruments or samples";
    return false;
  }
  for (int32_t i = 0; i < count; ++i) {
    const char* name =
        samples ? openmpt_module_get_sample_name(m, i) : openmpt_module_get_instrument_name(m, i);
    out.ChannelNames.push_back(ChannelLabel(name, samples ? "sample" : "instrument", i + 1));
    openmpt_free_string(name);
  }
  out.ChannelCount = static_cast<size_t>(count);
  return true;
}

}  // namespace

bool LooksLikeModule(const std::vector<uint8_t>& bytes) {
  const int result = openmpt_probe_file_header(
      OPENMPT_PROBE_FILE_HEADER_FLAGS_DEFAULT, bytes.data(), bytes.size(), bytes.size(),
      openmpt_log_func_silent, nullptr, openmpt_error_func_ignore, nullptr, nullptr, nullptr);
  return result == OPENMPT_PROBE_FILE_HEADER_RESULT_SUCCESS;
}

bool ReadModuleNotes(const std::vector<uint8_t>& bytes, TNoteEvents& out, std::string& error,
                     bool byInstrument) {
  out = TNoteEvents();
  int code = 0;
  const char* message = nullptr;
  TModule module(openmpt_module_ext_create_from_memory(
      bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_store,
      nullptr, &code, &message, nullptr));
  if (!module) {
    error = "not a module libopenmpt can read";
    if (message && *message) error += std::string(": ") + message;
    openmpt_free_string(message);
    return false;
  }
  openmpt_free_string(message);
  openmpt_module* m = openmpt_module_ext_get_module(module.get());
  const double length = openmpt_module_get_duration_seconds(m);
  // libopenmpt knows the length before playing.
  if (!MusicLengthFits(length, error)) return false;
  const int32_t channels = openmpt_module_get_num_channels(m);
  if (channels <= 0) {
    error = "the module has no channels";
    return false;
  }
  openmpt_module_ctl_set_text(m, "play.at_end", "stop");
  openmpt_module_set_repeat_count(m, 0);
  openmpt_module_set_render_param(m, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 1);
  openmpt_module_set_render_param(m, OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH, 0);
  // Only the timing is wanted: muted channels are not mixed.
  openmpt_module_ext_interface_interactive interactive{};
  if (openmpt_module_ext_get_interface(module.get(), LIBOPENMPT_EXT_C_INTERFACE_INTERACTIVE,
                                       &interactive, sizeof interactive) &&
      interactive.set_channel_mute_status)
    for (int32_t c = 0; c < channels; ++c) interactive.set_channel_mute_status(module.get(), c, 1);

  out.ChannelCount = static_cast<size_t>(channels);
  if (byInstrument && !NameInstruments(m, out, error)) return false;
  // The instrument each module channel plays: a note without one plays the last named.
  std::vector<uint8_t> instrumentOf(static_cast<size_t>(channels), 0);
  std::map<double, size_t> tempoRows;  // estimated BPM → rows played at it
  float buffer[kStepFrames];
  double before = 0.0;
  int32_t lastOrder = -1, lastRow = -1;
  for (;;) {
    const size_t frames = openmpt_module_read_float_mono(m, kRenderRate, kStepFrames, buffer);
    const int32_t order = openmpt_module_get_current_order(m);
    const int32_t row = openmpt_module_get_current_row(m);
    // A short read is the end of the song; the position it leaves is where the song would
    // start over, not a row that plays.
    const bool end = frames < kStepFrames;
    if (end) {
      before += static_cast<double>(frames) / kRenderRate;
      break;
    }
    if (order != lastOrder || row != lastRow) {
      lastOrder = order;
      lastRow = row;
      ++tempoRows[openmpt_module_get_current_estimated_bpm(m)];
      const int32_t pattern = openmpt_module_get_current_pattern(m);
      for (int32_t c = 0; c < channels; ++c) {
        const uint8_t note = openmpt_module_get_pattern_row_channel_command(
            m, pattern, row, c, OPENMPT_MODULE_COMMAND_NOTE);
        const uint8_t instrument = openmpt_module_get_pattern_row_channel_command(
            m, pattern, row, c, OPENMPT_MODULE_COMMAND_INSTRUMENT);
        if (instrument != 0) instrumentOf[static_cast<size_t>(c)] = instrument;
        if (note < 1 || note > kHighestNote) continue;
        if (!byInstrument) {
          out.Notes.push_back({before, static_cast<uint16_t>(c), note});
          continue;
        }
        // A note of no instrument, or of one the module lacks, plays nothing.
        const size_t played = instrumentOf[static_cast<size_t>(c)];
        if (played >= 1 && played <= out.ChannelCount)
          out.Notes.push_back({before, static_cast<uint16_t>(played - 1), note});
      }
      if (out.Notes.size() > kMostNotes) {
        error = "the module plays more than " + std::to_string(kMostNotes) + " notes";
        return false;
      }
    }
    before = openmpt_module_get_position_seconds(m);
  }
  out.Seconds = before;
  if (byInstrument) {
    // Sample slots past the last one played are no instruments of the song (a MOD has 31).
    size_t used = 1;
    for (const TTimedNote& note : out.Notes) used = std::max<size_t>(used, note.Channel + 1u);
    out.ChannelCount = std::min(out.ChannelCount, used);
    out.ChannelNames.resize(out.ChannelCount);
  }
  size_t most = 0;
  for (const auto& [bpm, rows] : tempoRows)
    if (rows > most && bpm > 0.0) {
      most = rows;
      out.MusicBpm = bpm;
    }
  return true;
}
