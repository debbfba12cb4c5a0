#include "common/Demotrack.h"

#include "sync/Demotrack.h"

bool WriteDemotrack(const std::string& fileName, const TDemotrackGrid& channels) {
  const size_t rows = channels.empty() ? 0 : channels[0].size();
  for (const auto& channel : channels)
    if (channel.size() != rows) return false;
  std::string error;
  return WriteDemotrackFile(fileName, TDemotrackData{channels}, error);
}

bool ParseDemotrackText(const std::string& text, TDemotrackGrid& channels, std::string& error) {
  TDemotrackData data;
  if (!ParseDemotrackText(text, data, error)) return false;
  channels = std::move(data.Channels);
  return true;
}
