// Hand-built 3DS files for the reader tests: a model whose mesh-data section a test writes, the
// file opened from memory, and the message of the reader error an action raises.
#pragma once
#include "models3ds/Const3DS.h"
#include "models3ds/File3DS.h"
#include "tools/common/Models3DS.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

using TChunkBody = std::function<void(TChunkWriter&)>;

// The bytes opened as a file of the given name.
inline std::unique_ptr<TFile3DS> OpenChunkFile(const std::vector<uint8_t>& bytes,
                                               const std::string& name = "test.3ds") {
  return std::make_unique<TFile3DS>(name, bytes);
}

// Root `root` holding a mesh-data section whose children `body` writes.
inline std::vector<uint8_t> ModelWith(const TChunkBody& body, uint16_t root = kChunkModelFile) {
  TChunkWriter w;
  w.Begin(root);
  w.Begin(kChunkMeshData);
  body(w);
  w.End();
  w.End();
  return w.Bytes();
}

// The text of the E3DSError the action raises, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const E3DSError& e) {
    return e.what();
  }
  return "(no error)";
}
