#include "common/Models3DS.h"

#include "common/ModelShapes.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

// ---------------------------------------------------------------------------------------------
// TChunkWriter

void TChunkWriter::Begin(uint16_t id) {
  openStarts_.push_back(bytes_.size());
  U16(id);
  U32(0);
}

void TChunkWriter::End() {
  if (openStarts_.empty()) throw std::logic_error("TChunkWriter::End without an open chunk");
  const size_t start = openStarts_.back();
  openStarts_.pop_back();
  const size_t length = bytes_.size() - start;
  if (length > 0xFFFFFFFFu) throw std::length_error("chunk longer than 4 GiB");
  for (int i = 0; i < 4; ++i)
    bytes_[start + 2 + i] = static_cast<uint8_t>(static_cast<uint32_t>(length) >> (8 * i));
}

void TChunkWriter::U8(uint8_t value) { bytes_.push_back(value); }

void TChunkWriter::U16(uint16_t value) {
  bytes_.push_back(static_cast<uint8_t>(value));
  bytes_.push_back(static_cast<uint8_t>(value >> 8));
}

void TChunkWriter::I16(int16_t value) { U16(static_cast<uint16_t>(value)); }

void TChunkWriter::U32(uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void TChunkWriter::I32(int32_t value) { U32(static_cast<uint32_t>(value)); }

void TChunkWriter::F32(float value) {
  uint32_t bits;
  static_assert(sizeof bits == sizeof value, "float must be 32 bits");
  std::memcpy(&bits, &value, sizeof bits);
  U32(bits);
}

void TChunkWriter::Vec(float x, float y, float z) {
  F32(x);
  F32(y);
  F32(z);
}

void TChunkWriter::Str(const std::string& text) {
  Raw(text.data(), text.size());
  U8(0);
}

void TChunkWriter::Raw(const void* data, size_t n) {
  const uint8_t* first = static_cast<const uint8_t*>(data);
  bytes_.insert(bytes_.end(), first, first + n);
}

const std::vector<uint8_t>& TChunkWriter::Bytes() const { return bytes_; }

size_t TChunkWriter::OpenChunks() const { return openStarts_.size(); }

// ---------------------------------------------------------------------------------------------
// Model files

namespace {

constexpr size_t kMaxCount = 65535;   // vertex and face counts are 16-bit on disk
const char* const kDefaultMaterial = "VorpaneWhite";

void CheckWritable(const TModelMesh& mesh) {
  const std::string who = "mesh \"" + mesh.Name + "\": ";
  if (mesh.Vertices.size() > kMaxCount)
    throw std::invalid_argument(who + "more than 65535 vertices");
  if (mesh.Faces.size() > kMaxCount) throw std::invalid_argument(who + "more than 65535 faces");
  if (!mesh.TexCoords.empty() && mesh.TexCoords.size() != mesh.Vertices.size())
    throw std::invalid_argument(who + "texture coordinate count differs from the vertex count");
  for (const auto& face : mesh.Faces)
    for (uint16_t index : face)
      if (index >= mesh.Vertices.size())
        throw std::invalid_argument(who + "face index " + std::to_string(index) +
                                    " not below the vertex count");
}

void WriteColourByte(TChunkWriter& w, uint16_t id, uint8_t r, uint8_t g, uint8_t b) {
  w.Begin(id);
  w.Begin(0x0011);
  w.U8(r);
  w.U8(g);
  w.U8(b);
  w.End();
  w.End();
}

// A material block 0xAFFF: name, ambient and diffuse colours, and a texture map when mapFile is
// not empty.
void WriteMaterial(TChunkWriter& w, const std::string& name, const std::array<uint8_t, 3>& ambient,
                   const std::array<uint8_t, 3>& diffuse, const std::string& mapFile,
                   int16_t mapPercent) {
  w.Begin(0xAFFF);
  w.Begin(0xA000);
  w.Str(name);
  w.End();
  WriteColourByte(w, 0xA010, ambient[0], ambient[1], ambient[2]);
  WriteColourByte(w, 0xA020, diffuse[0], diffuse[1], diffuse[2]);
  if (!mapFile.empty()) {
    w.Begin(0xA200);
    w.Begin(0x0030);
    w.I16(mapPercent);
    w.End();
    w.Begin(0xA300);
    w.Str(mapFile);
    w.End();
    w.End();
  }
  w.End();
}

// Opens the root and the mesh-data section with its version, default material and master scale.
void BeginModelFile(TChunkWriter& w) {
  w.Begin(0x4D4D);
  w.Begin(0x0002);
  w.I32(3);
  w.End();
  w.Begin(0x3D3D);
  w.Begin(0x3D3E);
  w.I32(3);
  w.End();
  WriteMaterial(w, kDefaultMaterial, {60, 60, 60}, {230, 230, 230}, "", 0);
  w.Begin(0x0100);
  w.F32(1.0f);
  w.End();
}

// A named object 0x4000 holding an omni light at `position` with a float colour.
void WriteLightObject(TChunkWriter& w, const std::string& name, const std::array<float, 3>& position,
                      const std::array<float, 3>& colour) {
  w.Begin(0x4000);
  w.Str(name);
  w.Begin(0x4600);
  w.Vec(position[0], position[1], position[2]);
  w.Begin(0x0010);
  w.Vec(colour[0], colour[1], colour[2]);
  w.End();
  w.End();
  w.End();
}

// A named object 0x4000 holding a camera: position, target, bank angle, focal length.
void WriteCameraObject(TChunkWriter& w, const std::string& name, const std::array<float, 3>& position,
                       const std::array<float, 3>& target, float bank, float focal) {
  w.Begin(0x4000);
  w.Str(name);
  w.Begin(0x4700);
  w.Vec(position[0], position[1], position[2]);
  w.Vec(target[0], target[1], target[2]);
  w.F32(bank);
  w.F32(focal);
  w.End();
  w.End();
}

// One keyframe track: head (flags, two unused words, key count), then per key its head (frame,
// spline flags, one float per set flag bit 0..4) and its values.
struct TTrackKey {
  uint32_t Frame;
  uint16_t SplineFlags;
  std::vector<float> SplineValues;   // one per set bit of SplineFlags, in bit order
  std::vector<float> Values;
};

void WriteTrack(TChunkWriter& w, uint16_t id, const std::vector<TTrackKey>& keys) {
  w.Begin(id);
  w.U16(0);   // track flags
  w.U32(0);
  w.U32(0);
  w.U32(static_cast<uint32_t>(keys.size()));
  for (const TTrackKey& key : keys) {
    w.U32(key.Frame);
    w.U16(key.SplineFlags);
    for (float v : key.SplineValues) w.F32(v);
    for (float v : key.Values) w.F32(v);
  }
  w.End();
}

// A node header 0xB010: object name, two flag words, parent node id (-1: none).
void WriteNodeHeader(TChunkWriter& w, const std::string& name, int16_t parent) {
  w.Begin(0xB010);
  w.Str(name);
  w.U16(0x4000);
  w.U16(0);
  w.I16(parent);
  w.End();
}

void WriteNodeId(TChunkWriter& w, int16_t id) {
  w.Begin(0xB030);
  w.I16(id);
  w.End();
}

void WriteKeyframer(TChunkWriter& w) {
  w.Begin(0xB000);
  w.Begin(0xB00A);
  w.I16(5);
  w.Str("keyframer");
  w.I32(100);
  w.End();
  w.Begin(0xB008);   // active frame segment
  w.I32(0);
  w.I32(100);
  w.End();
  w.Begin(0xB009);   // current frame
  w.I32(0);
  w.End();

  // Spline flag bits: 1 tension, 2 continuity, 4 bias, 8 ease to, 16 ease from.
  w.Begin(0xB002);   // the box, root of the hierarchy
  WriteNodeId(w, 0);
  WriteNodeHeader(w, "Box", -1);
  w.Begin(0xB013);   // pivot
  w.Vec(0, 0, 0);
  w.End();
  WriteTrack(w, 0xB020, {{0, 0, {}, {0, 0, 0}},
                         {50, 1 | 4, {0.5f, -0.25f}, {10, 0, 5}},
                         {100, 0, {}, {0, 0, 0}}});
  WriteTrack(w, 0xB021, {{0, 0, {}, {0, 0, 0, 1}}, {100, 8 | 16, {0.3f, 0.7f}, {3.14159f, 0, 0, 1}}});
  WriteTrack(w, 0xB022, {{0, 0, {}, {1, 1, 1}}, {60, 2, {0.1f}, {2, 2, 2}}});
  w.End();

  w.Begin(0xB002);   // the ball, child of the box
  WriteNodeId(w, 1);
  WriteNodeHeader(w, "Ball", 0);
  w.Begin(0xB011);
  w.Str("Ball01");
  w.End();
  WriteTrack(w, 0xB020, {{0, 0, {}, {3, 0, 0}}, {100, 1 | 2 | 4 | 8 | 16, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}, {3, 3, 0}}});
  WriteTrack(w, 0xB021, {{0, 0, {}, {0, 0, 0, 1}}});
  WriteTrack(w, 0xB022, {{0, 0, {}, {1, 1, 1}}});
  w.End();

  w.Begin(0xB003);   // the camera
  WriteNodeId(w, 2);
  WriteNodeHeader(w, "Camera01", -1);
  WriteTrack(w, 0xB020, {{0, 0, {}, {0, -10, 5}}, {100, 1, {0.5f}, {10, -10, 5}}});
  WriteTrack(w, 0xB023, {{0, 0, {}, {45}}, {100, 0, {}, {30}}});
  WriteTrack(w, 0xB024, {{0, 0, {}, {0}}, {50, 4, {-0.5f}, {15}}});
  w.End();

  w.Begin(0xB005);   // the light, child of the camera
  WriteNodeId(w, 3);
  WriteNodeHeader(w, "Light01", 2);
  WriteTrack(w, 0xB020, {{0, 0, {}, {5, 5, 10}}});
  WriteTrack(w, 0xB025, {{0, 0, {}, {1, 1, 1}}, {100, 16, {0.25f}, {1, 0.5f, 0}}});
  w.End();

  w.End();
}

std::vector<uint8_t> MaterialLibraryBytes() {
  TChunkWriter w;
  w.Begin(0x3DAA);
  WriteMaterial(w, "Brass", {50, 40, 10}, {200, 160, 40}, "brass.jpg", 100);
  WriteMaterial(w, "Checker", {20, 20, 20}, {255, 255, 255}, "checker.tga", 75);
  w.End();
  return w.Bytes();
}

std::vector<uint8_t> LightCameraBytes(const std::vector<TModelMesh>& meshes) {
  TChunkWriter w;
  BeginModelFile(w);
  WriteMeshObject(w, meshes[0]);
  WriteLightObject(w, "Light01", {5, 5, 10}, {1, 0.9f, 0.8f});
  WriteCameraObject(w, "Camera01", {0, -10, 5}, {0, 0, 0}, 0, 35);
  WriteMeshObject(w, meshes[1]);
  w.End();
  w.End();
  return w.Bytes();
}

std::vector<uint8_t> KeyframerBytes(const std::vector<TModelMesh>& meshes) {
  TChunkWriter w;
  BeginModelFile(w);
  for (const TModelMesh& mesh : meshes) WriteMeshObject(w, mesh);
  WriteLightObject(w, "Light01", {5, 5, 10}, {1, 1, 1});
  WriteCameraObject(w, "Camera01", {0, -10, 5}, {0, 0, 0}, 0, 35);
  w.End();   // 0x3D3D
  WriteKeyframer(w);
  w.End();   // 0x4D4D
  return w.Bytes();
}

}  // namespace

void WriteMeshObject(TChunkWriter& w, const TModelMesh& mesh) {
  CheckWritable(mesh);
  w.Begin(0x4000);
  w.Str(mesh.Name);
  w.Begin(0x4100);

  w.Begin(0x4110);
  w.U16(static_cast<uint16_t>(mesh.Vertices.size()));
  for (const auto& v : mesh.Vertices) w.Vec(v[0], v[1], v[2]);
  w.End();

  if (!mesh.TexCoords.empty()) {
    w.Begin(0x4140);
    w.U16(static_cast<uint16_t>(mesh.TexCoords.size()));
    for (const auto& t : mesh.TexCoords) {
      w.F32(t[0]);
      w.F32(t[1]);
    }
    w.End();
  }

  w.Begin(0x4160);   // local axes X, Y, Z, then the origin
  w.Vec(1, 0, 0);
  w.Vec(0, 1, 0);
  w.Vec(0, 0, 1);
  w.Vec(0, 0, 0);
  w.End();

  const uint16_t faceCount = static_cast<uint16_t>(mesh.Faces.size());
  w.Begin(0x4120);
  w.U16(faceCount);
  for (const auto& f : mesh.Faces) {
    w.U16(f[0]);
    w.U16(f[1]);
    w.U16(f[2]);
    w.U16(7);   // all three edges visible
  }
  w.Begin(0x4130);   // every face uses the default material
  w.Str(kDefaultMaterial);
  w.U16(faceCount);
  for (uint16_t i = 0; i < faceCount; ++i) w.U16(i);
  w.End();
  w.Begin(0x4150);   // one smoothing group for all faces
  for (uint16_t i = 0; i < faceCount; ++i) w.U32(1);
  w.End();
  w.End();   // 0x4120

  w.End();   // 0x4100
  w.End();   // 0x4000
}

std::vector<uint8_t> Model3DSBytes(const std::vector<TModelMesh>& meshes) {
  TChunkWriter w;
  BeginModelFile(w);
  for (const TModelMesh& mesh : meshes) WriteMeshObject(w, mesh);
  w.End();
  w.End();
  return w.Bytes();
}

std::vector<std::string> ModelKinds() {
  return {"cube", "sphere", "torus", "duck", "multi", "lightcam", "keyframer", "matlib", "large",
          "envball"};
}

std::vector<TModelMesh> ModelFileMeshes(const std::string& kind) {
  if (kind == "cube") return {BoxPixelCube("BoxPixel")};
  if (kind == "sphere") return {UvSphere("Sphere", 1.0f, 32, 16)};
  if (kind == "torus") return {Torus("Torus", 1.0f, 0.35f, 48, 24)};
  if (kind == "duck") return {DuckMesh("Duck")};
  if (kind == "envball") return {UvSphere("EnvBall", 1.0f, 48, 24)};
  if (kind == "multi") {
    TModelMesh box = BoxPixelCube("Box");
    MoveMesh(box, -3, 0, 0);
    TModelMesh ball = UvSphere("Ball", 0.75f, 16, 8);
    TModelMesh ring = Torus("Ring", 1.0f, 0.25f, 24, 12);
    MoveMesh(ring, 3, 0, 0);
    return {box, ball, ring};
  }
  if (kind == "lightcam" || kind == "keyframer") {
    TModelMesh ball = UvSphere("Ball", 0.5f, 12, 6);
    MoveMesh(ball, 3, 0, 0);
    return {BoxPixelCube("Box"), ball};
  }
  if (kind == "large") {
    // 100 x 51 cells give 100 * (2 * 49 + 2) = 10000 triangles per sphere.
    std::vector<TModelMesh> meshes;
    for (int i = 0; i < 6; ++i) {
      TModelMesh ball = UvSphere("Large" + std::to_string(i), 1.0f, 100, 51);
      MoveMesh(ball, 2.5f * static_cast<float>(i), 0, 0);
      meshes.push_back(ball);
    }
    return meshes;
  }
  return {};
}

std::vector<std::string> KeyframerShapes() { return {"kfnames", "kfempty"}; }

namespace {

bool IsKeyframerShape(const std::string& name) {
  for (const std::string& shape : KeyframerShapes())
    if (shape == name) return true;
  return false;
}

}  // namespace

std::vector<uint8_t> KeyframerShapeBytes(const std::string& shape, size_t size) {
  if (!IsKeyframerShape(shape)) return {};
  TChunkWriter w;
  BeginModelFile(w);
  WriteMeshObject(w, BoxPixelCube("Box"));
  w.End();   // 0x3D3D
  w.Begin(0xB000);
  TChunkWriter node;
  if (shape == "kfnames") {
    w.Begin(0xB002);
    WriteNodeId(w, 0);
    WriteNodeHeader(w, std::string(255, 'p'), -1);
    w.Begin(0xB011);
    w.Str(std::string(255, 'i'));
    w.End();
    w.End();
    // Every child has id 1, so each finds itself first in the index and then its parent 0.
    node.Begin(0xB002);
    WriteNodeId(node, 1);
    WriteNodeHeader(node, "", 0);
    node.End();
  } else {
    node.Begin(0xB002);
    node.End();
  }
  const std::vector<uint8_t>& unit = node.Bytes();
  while (w.Bytes().size() + unit.size() <= size) w.Raw(unit.data(), unit.size());
  w.End();   // 0xB000
  w.End();   // 0x4D4D
  return w.Bytes();
}

std::vector<uint8_t> ModelFileBytes(const std::string& kind) {
  if (kind == "matlib") return MaterialLibraryBytes();
  if (IsKeyframerShape(kind)) return KeyframerShapeBytes(kind, 4096);
  const std::vector<TModelMesh> meshes = ModelFileMeshes(kind);
  if (meshes.empty()) return {};
  if (kind == "lightcam") return LightCameraBytes(meshes);
  if (kind == "keyframer") return KeyframerBytes(meshes);
  return Model3DSBytes(meshes);
}

bool WriteModelFile(const std::string& kind, const std::string& path, std::string& error) {
  const std::vector<uint8_t> bytes = ModelFileBytes(kind);
  if (bytes.empty()) {
    error = "unknown model kind \"" + kind + "\"";
    return false;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}
