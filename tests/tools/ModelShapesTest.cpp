// The built-in 3DS model files: closed, outward-wound shapes of the right size, well-formed
// chunk files, and make_model writing exactly those bytes.
#include "common/ModelShapes.h"
#include "common/Models3DS.h"

#include "support/RunVorpane.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace {

using TPos = std::array<float, 3>;
constexpr double kPi = 3.14159265358979323846;

std::array<double, 3> Sub(const TPos& a, const TPos& b) {
  return {double(a[0]) - b[0], double(a[1]) - b[1], double(a[2]) - b[2]};
}

std::array<double, 3> Cross(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

std::array<double, 3> FaceNormal(const TModelMesh& m, const std::array<uint16_t, 3>& f) {
  return Cross(Sub(m.Vertices[f[1]], m.Vertices[f[0]]), Sub(m.Vertices[f[2]], m.Vertices[f[0]]));
}

// Sum of the signed volumes of the tetrahedra (origin, a, b, c): positive for a closed surface
// wound counter-clockwise seen from outside.
double SignedVolume(const TModelMesh& m) {
  double volume = 0;
  for (const auto& f : m.Faces) {
    const TPos &a = m.Vertices[f[0]], &b = m.Vertices[f[1]], &c = m.Vertices[f[2]];
    volume += (double(a[0]) * (double(b[1]) * c[2] - double(b[2]) * c[1]) -
               double(a[1]) * (double(b[0]) * c[2] - double(b[2]) * c[0]) +
               double(a[2]) * (double(b[0]) * c[1] - double(b[1]) * c[0])) / 6.0;
  }
  return volume;
}

// Closed and consistently wound, comparing vertices by position (seams repeat positions): every
// directed edge occurs once and its reverse once. Returns the first fault found, or "".
std::string ClosureFault(const TModelMesh& m) {
  std::map<TPos, int> ids;
  std::vector<int> idOf;
  for (const TPos& p : m.Vertices) idOf.push_back(ids.emplace(p, int(ids.size())).first->second);
  std::map<std::pair<int, int>, int> edges;
  for (const auto& f : m.Faces)
    for (int k = 0; k < 3; ++k) {
      const int a = idOf[f[k]], b = idOf[f[(k + 1) % 3]];
      if (a == b) return "degenerate face";
      ++edges[{a, b}];
    }
  for (const auto& [edge, count] : edges) {
    if (count != 1) return "directed edge used " + std::to_string(count) + " times";
    const auto reverse = edges.find({edge.second, edge.first});
    if (reverse == edges.end()) return "edge without its reverse (open surface)";
  }
  return "";
}

struct TBounds {
  TPos Low, High;
};

TBounds Bounds(const TModelMesh& m) {
  TBounds b{m.Vertices.at(0), m.Vertices.at(0)};
  for (const TPos& p : m.Vertices)
    for (int k = 0; k < 3; ++k) {
      b.Low[k] = std::min(b.Low[k], p[k]);
      b.High[k] = std::max(b.High[k], p[k]);
    }
  return b;
}

// --- A chunk walk just deep enough to check that the files are well-formed -------------------

struct TChunk {
  uint16_t Id = 0;
  size_t Start = 0, Length = 0, DataStart = 0;   // DataStart: behind the own data
  std::vector<TChunk> Children;
};

class TChunkCheck {
 public:
  explicit TChunkCheck(const std::vector<uint8_t>& bytes) : b_(bytes) {}
  uint16_t U16(size_t at) const { Need(at, 2); return uint16_t(b_[at] | b_[at + 1] << 8); }
  uint32_t U32(size_t at) const { Need(at, 4); return U16(at) | uint32_t(U16(at + 2)) << 16; }
  size_t StrEnd(size_t at) const {   // just behind the zero byte
    while (true) {
      Need(at, 1);
      if (b_[at++] == 0) return at;
    }
  }
  std::string Str(size_t at) const {
    return std::string(reinterpret_cast<const char*>(&b_[at]), StrEnd(at) - at - 1);
  }
  // Reads the chunk at `at`; the children of containers must tile the chunk exactly.
  TChunk Read(size_t at, size_t limit) const {
    TChunk c;
    c.Id = U16(at);
    c.Start = at;
    c.Length = U32(at + 2);
    if (c.Length < 6 || at + c.Length > limit) Fail("chunk overruns its parent", c);
    const long own = OwnData(c);
    if (own < 0) return c;   // a leaf
    c.DataStart = at + 6 + size_t(own);
    size_t next = c.DataStart;
    while (next < at + c.Length) {
      c.Children.push_back(Read(next, at + c.Length));
      next += c.Children.back().Length;
    }
    if (next != at + c.Length) Fail("children do not end with the chunk", c);
    return c;
  }

 private:
  void Need(size_t at, size_t n) const {
    if (at + n > b_.size()) throw std::runtime_error("read past the end of the file");
  }
  [[noreturn]] static void Fail(const std::string& why, const TChunk& c) {
    throw std::runtime_error(why + " (id " + std::to_string(c.Id) + " at " +
                             std::to_string(c.Start) + ")");
  }
  // Own data in front of the sub-chunks of the containers these files use; -1 for leaves.
  long OwnData(const TChunk& c) const {
    const size_t d = c.Start + 6;
    switch (c.Id) {
      case 0x4D4D: case 0x3D3D: case 0x3DAA: case 0x4100: case 0xAFFF: case 0xA010:
      case 0xA020: case 0xA200: case 0xB000: case 0xB002: case 0xB003: case 0xB005: return 0;
      case 0x4000: case 0xA000: case 0xA300: case 0xB011: return long(StrEnd(d) - d);
      case 0x0030: case 0xB030: return 2;
      case 0x0011: return 3;
      case 0x0002: case 0x0100: case 0x3D3E: case 0xB009: return 4;
      case 0xB008: return 8;
      case 0x0010: case 0x4600: case 0xB013: return 12;
      case 0x4700: return 32;
      case 0x4160: return 48;
      case 0x4120: return 2 + 8 * long(U16(d));
      case 0xB00A: return long(StrEnd(d + 2) + 4 - d);
      case 0xB010: return long(StrEnd(d) + 6 - d);
      default: return -1;
    }
  }
  const std::vector<uint8_t>& b_;
};

const TChunk* Child(const TChunk& c, uint16_t id) {
  for (const TChunk& child : c.Children)
    if (child.Id == id) return &child;
  return nullptr;
}

// Bytes a keyframe track of this id must have for its keys, from its head and spline flags;
// counts the keys whose head carries spline values.
size_t TrackBytes(const TChunkCheck& check, const TChunk& track, int& splineKeys) {
  const std::map<uint16_t, size_t> valueFloats = {{0xB020, 3}, {0xB021, 4}, {0xB022, 3},
                                                  {0xB023, 1}, {0xB024, 1}, {0xB025, 3}};
  size_t at = track.Start + 6 + 2 + 4 + 4;
  const uint32_t keys = check.U32(at);
  at += 4;
  for (uint32_t k = 0; k < keys; ++k) {
    const uint16_t flags = check.U16(at + 4);
    if (flags & 0x1F) ++splineKeys;
    at += 6;
    for (int bit = 0; bit < 5; ++bit)
      if (flags & (1 << bit)) at += 4;
    at += 4 * valueFloats.at(track.Id);
  }
  return at - track.Start;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ModelShapesTest, ChunkWriterBackPatchesNestedLengthsLittleEndian) {
  TChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x0002);
  w.I32(-2);
  w.End();
  w.U16(0xBEEF);
  w.F32(1.0f);
  w.Str("ab");
  EXPECT_EQ(w.OpenChunks(), 1u);
  w.End();
  // The root counts its header, its child and its own 9 trailing bytes: 6 + 10 + 9 = 25.
  const std::vector<uint8_t> expected = {0x4D, 0x4D, 25, 0, 0, 0,
                                         0x02, 0x00, 10, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF,
                                         0xEF, 0xBE, 0x00, 0x00, 0x80, 0x3F, 'a', 'b', 0};
  EXPECT_EQ(w.Bytes(), expected);
  EXPECT_EQ(w.OpenChunks(), 0u);
  EXPECT_THROW(w.End(), std::logic_error);
}

TEST(ModelShapesTest, MeshesThatCannotBeWrittenAreRefused) {
  TModelMesh mesh = BoxPixelCube("Box");
  EXPECT_NO_THROW(Model3DSBytes({mesh}));
  TModelMesh badIndex = mesh;
  badIndex.Faces[3][1] = 24;   // one past the last vertex
  EXPECT_THROW(Model3DSBytes({badIndex}), std::invalid_argument);
  TModelMesh badTex = mesh;
  badTex.TexCoords.pop_back();
  EXPECT_THROW(Model3DSBytes({badTex}), std::invalid_argument);
  TModelMesh tooMany;
  tooMany.Vertices.resize(65536);
  EXPECT_THROW(Model3DSBytes({tooMany}), std::invalid_argument);
  // Merging past 65535 vertices is refused instead of wrapping the 16-bit indices.
  TModelMesh big = UvSphere("Big", 1, 200, 200);   // 201 * 201 = 40401 vertices
  EXPECT_THROW(AppendMesh(big, big), std::invalid_argument);
}

TEST(ModelShapesTest, ClosedShapesAreClosedAndWoundOutward) {
  const std::map<std::string, double> expectedVolume = {
      {"cube", 1.0}, {"sphere", 4.0 / 3.0 * kPi}, {"envball", 4.0 / 3.0 * kPi},
      {"torus", 2.0 * kPi * kPi * 1.0 * 0.35 * 0.35}};
  for (const std::string kind : {"cube", "sphere", "torus", "duck", "multi", "lightcam", "keyframer",
                                 "large", "envball"}) {
    for (const TModelMesh& mesh : ModelFileMeshes(kind)) {
      SCOPED_TRACE(kind + "/" + mesh.Name);
      EXPECT_EQ(ClosureFault(mesh), "");
      const double volume = SignedVolume(mesh);
      EXPECT_GT(volume, 0.0);
      const auto want = expectedVolume.find(kind);
      if (want != expectedVolume.end()) {
        EXPECT_NEAR(volume, want->second, 0.03 * want->second);
      }
    }
  }
  // A single flipped triangle breaks the consistent winding.
  TModelMesh flipped = UvSphere("Flipped", 1, 12, 6);
  std::swap(flipped.Faces[5][1], flipped.Faces[5][2]);
  EXPECT_NE(ClosureFault(flipped), "");
}

TEST(ModelShapesTest, EveryKindHasValidCountsAndIndices) {
  for (const std::string& kind : ModelKinds()) {
    SCOPED_TRACE(kind);
    for (const TModelMesh& mesh : ModelFileMeshes(kind)) {
      EXPECT_FALSE(mesh.Name.empty());
      EXPECT_LE(mesh.Vertices.size(), 65535u);
      EXPECT_LE(mesh.Faces.size(), 65535u);
      EXPECT_GT(mesh.Faces.size(), 0u);
      EXPECT_TRUE(mesh.TexCoords.empty() || mesh.TexCoords.size() == mesh.Vertices.size());
      for (const auto& f : mesh.Faces)
        for (uint16_t index : f) ASSERT_LT(index, mesh.Vertices.size());
      for (const TPos& p : mesh.Vertices)
        for (float v : p) ASSERT_TRUE(std::isfinite(v));
    }
  }
  std::vector<std::string> names;
  for (const TModelMesh& mesh : ModelFileMeshes("multi")) names.push_back(mesh.Name);
  ASSERT_EQ(names.size(), 3u);
  EXPECT_TRUE(names[0] != names[1] && names[1] != names[2] && names[0] != names[2]);
  size_t largeFaces = 0;
  for (const TModelMesh& mesh : ModelFileMeshes("large")) largeFaces += mesh.Faces.size();
  EXPECT_GE(largeFaces, 50000u);
  EXPECT_LE(largeFaces, 70000u);
  EXPECT_TRUE(ModelFileBytes("nonsense").empty());
  EXPECT_TRUE(ModelFileMeshes("nonsense").empty());
}

TEST(ModelShapesTest, VoxelCubeHasFlatSidesOfUnitSize) {
  const TModelMesh cube = ModelFileMeshes("cube").at(0);
  ASSERT_EQ(cube.Vertices.size(), 24u);
  ASSERT_EQ(cube.Faces.size(), 12u);
  const TBounds b = Bounds(cube);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(b.Low[k], -0.5f);
    EXPECT_EQ(b.High[k], 0.5f);
  }
  std::map<std::array<int, 3>, int> sides;   // outward axis direction -> triangles
  std::vector<std::array<int, 3>> vertexSide(24, {0, 0, 0});
  for (const auto& f : cube.Faces) {
    const auto n = FaceNormal(cube, f);
    const std::array<int, 3> axis = {int(std::lround(n[0])), int(std::lround(n[1])),
                                     int(std::lround(n[2]))};
    EXPECT_EQ(std::abs(axis[0]) + std::abs(axis[1]) + std::abs(axis[2]), 1);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(n[k], axis[k], 1e-6);
    // Points away from the centre: the face's corners lie on the side the normal names.
    for (uint16_t v : f)
      for (int k = 0; k < 3; ++k)
        if (axis[k] != 0) {
          EXPECT_EQ(cube.Vertices[v][k], 0.5f * axis[k]);
        }
    ++sides[axis];
    // Each vertex belongs to one side only, so area-weighted vertex normals come out flat.
    for (uint16_t v : f) {
      if (vertexSide[v] != std::array<int, 3>{0, 0, 0}) {
        EXPECT_EQ(vertexSide[v], axis);
      }
      vertexSide[v] = axis;
    }
  }
  EXPECT_EQ(sides.size(), 6u);
  for (const auto& [axis, count] : sides) EXPECT_EQ(count, 2);
  for (const auto& t : cube.TexCoords)
    for (float c : t) EXPECT_TRUE(c == 0.0f || c == 1.0f);
}

TEST(ModelShapesTest, DuckIsOneUprightMeshSizedForThePixelGrid) {
  const std::vector<TModelMesh> meshes = ModelFileMeshes("duck");
  ASSERT_EQ(meshes.size(), 1u);
  const TModelMesh& duck = meshes[0];
  EXPECT_GE(duck.Faces.size(), 2000u);
  EXPECT_LE(duck.Faces.size(), 6000u);
  const TBounds b = Bounds(duck);
  float largest = 0;
  for (int k = 0; k < 3; ++k) {
    largest = std::max(largest, b.High[k] - b.Low[k]);
    EXPECT_NEAR((b.Low[k] + b.High[k]) / 2, 0.0f, 1.0f) << "axis " << k;   // centred
  }
  EXPECT_GE(largest, 4000.0f);
  EXPECT_LE(largest, 5500.0f);
  EXPECT_EQ(largest, b.High[0] - b.Low[0]);           // long along X
  EXPECT_GT(b.High[2] - b.Low[2], 0.4f * largest);   // and really standing, not flat
  // At the 0.008 scale of the pixel grid, every rotation keeps it within 24 cells of the centre.
  for (const TPos& p : duck.Vertices)
    ASSERT_LT(std::sqrt(double(p[0]) * p[0] + double(p[1]) * p[1] + double(p[2]) * p[2]) * 0.008,
              24.0);
  // Looking along +X: the head (highest point) and the beak tip (furthest point) are at the front.
  const auto top = std::max_element(duck.Vertices.begin(), duck.Vertices.end(),
                                    [](const TPos& a, const TPos& c) { return a[2] < c[2]; });
  EXPECT_GT((*top)[0], 0.0f);
  const auto front = std::max_element(duck.Vertices.begin(), duck.Vertices.end(),
                                      [](const TPos& a, const TPos& c) { return a[0] < c[0]; });
  EXPECT_GT((*front)[2], 0.0f);
}

TEST(ModelShapesTest, FilesAreWellFormedChunkTrees) {
  for (const std::string& kind : ModelKinds()) {
    SCOPED_TRACE(kind);
    const std::vector<uint8_t> bytes = ModelFileBytes(kind);
    const TChunkCheck check(bytes);
    TChunk root;
    ASSERT_NO_THROW(root = check.Read(0, bytes.size()));
    EXPECT_EQ(root.Length, bytes.size());
    if (kind == "matlib") {
      EXPECT_EQ(root.Id, 0x3DAA);
      ASSERT_EQ(root.Children.size(), 2u);
      for (const TChunk& material : root.Children) {
        EXPECT_EQ(material.Id, 0xAFFF);
        for (uint16_t id : {0xA000, 0xA010, 0xA020, 0xA200}) EXPECT_NE(Child(material, id), nullptr);
        const TChunk* map = Child(material, 0xA200);
        ASSERT_NE(map, nullptr);
        ASSERT_NE(Child(*map, 0xA300), nullptr);
        EXPECT_FALSE(check.Str(Child(*map, 0xA300)->Start + 6).empty());
      }
      continue;
    }
    EXPECT_EQ(root.Id, 0x4D4D);
    const TChunk* section = Child(root, 0x3D3D);
    ASSERT_NE(section, nullptr);
    // Only the lightcam file has named objects without a triangle mesh: its second holds a light
    // with a colour, its third a camera.
    std::vector<const TChunk*> objects;
    for (const TChunk& object : section->Children)
      if (object.Id == 0x4000) objects.push_back(&object);
    size_t meshObjects = 0;
    for (const TChunk* object : objects) meshObjects += Child(*object, 0x4100) != nullptr;
    EXPECT_EQ(meshObjects, ModelFileMeshes(kind).size());
    if (kind == "lightcam") {
      ASSERT_EQ(objects.size(), 4u);
      const TChunk* omni = Child(*objects[1], 0x4600);
      ASSERT_NE(omni, nullptr);
      EXPECT_NE(Child(*omni, 0x0010), nullptr);
      EXPECT_NE(Child(*objects[2], 0x4700), nullptr);
    }
    const TChunk* keyframer = Child(root, 0xB000);
    EXPECT_EQ(keyframer != nullptr, kind == "keyframer");
    if (!keyframer) continue;
    EXPECT_NE(Child(*keyframer, 0xB00A), nullptr);
    std::map<int, int> parentOf;   // node id -> parent id
    std::map<uint16_t, int> nodeKinds;
    int splineKeys = 0;
    for (const TChunk& node : keyframer->Children) {
      if (node.Id != 0xB002 && node.Id != 0xB003 && node.Id != 0xB005) continue;
      ++nodeKinds[node.Id];
      const TChunk* id = Child(node, 0xB030);
      const TChunk* header = Child(node, 0xB010);
      ASSERT_TRUE(id && header);
      parentOf[int16_t(check.U16(id->Start + 6))] =
          int16_t(check.U16(check.StrEnd(header->Start + 6) + 4));
      for (const TChunk& track : node.Children) {
        if (track.Id < 0xB020 || track.Id > 0xB025) continue;
        EXPECT_EQ(TrackBytes(check, track, splineKeys), track.Length) << "track " << track.Id;
      }
    }
    EXPECT_GE(nodeKinds[0xB002], 1);
    EXPECT_EQ(nodeKinds[0xB003], 1);
    EXPECT_EQ(nodeKinds[0xB005], 1);
    EXPECT_GE(splineKeys, 3);
    int linked = 0;
    for (const auto& [node, parent] : parentOf)
      if (parent != -1) {
        EXPECT_EQ(parentOf.count(parent), 1u) << "node " << node << " has an unknown parent";
        ++linked;
      }
    EXPECT_GE(linked, 1);
  }
}

TEST(ModelShapesTest, MakeModelWritesTheKindsBytes) {
  const std::string folder = MakeTempFolder();
  const std::string tool = std::string(VORPANE_TOOLS_DIR) + "/make_model";
  for (const std::string kind : {"cube", "duck", "keyframer", "matlib"}) {
    const TRunResult run = RunProgramIn(folder, {tool, kind, kind + ".3ds"});
    EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
    EXPECT_EQ(ReadFile(folder + "/" + kind + ".3ds"), ModelFileBytes(kind)) << kind;
  }
  const TRunResult bad = RunProgramIn(folder, {tool, "teapot", "teapot.3ds"});
  EXPECT_EQ(bad.ExitStatus, 2);
  EXPECT_NE(bad.Stderr.find("usage"), std::string::npos);
  EXPECT_FALSE(std::ifstream(folder + "/teapot.3ds").good());
  EXPECT_EQ(RunProgramIn(folder, {tool, "cube"}).ExitStatus, 2);
  const TRunResult unwritable = RunProgramIn(folder, {tool, "cube", "no/such/folder/cube.3ds"});
  EXPECT_EQ(unwritable.ExitStatus, 1);
  EXPECT_FALSE(unwritable.Stderr.empty());
}
