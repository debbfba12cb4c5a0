// The 3DS reader on malformed and hostile files: short or overlong chunks, deep nesting, long or
// unterminated strings, counts larger than their chunk, missing files; and the time and memory
// a 16 MiB worst case takes to open and extract every mesh.
#include "models3ds/Const3DS.h"
#include "models3ds/File3DS.h"
#include "support/Chunk3DSFiles.h"
#include "support/TestSystem.h"
#include "tools/common/Models3DS.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

std::unique_ptr<TFile3DS> Open(const std::vector<uint8_t>& bytes) { return OpenChunkFile(bytes, "bad.3ds"); }

std::vector<uint16_t> ChildIds(const ChunkNode* node) {
  std::vector<uint16_t> ids;
  for (const ChunkNode* c = node ? node->Children : nullptr; c; c = c->Next) ids.push_back(c->Id);
  return ids;
}

ChunkNode* Section(TFile3DS& file) { return TFile3DS::FindChunkDeep(file.Database().Top, kChunkMeshData); }

void Named(TChunkWriter& w, const std::string& name, const TChunkBody& body = nullptr) {
  w.Begin(kChunkNamedObject);
  w.Str(name);
  if (body) body(w);
  w.End();
}

// A bare chunk header with a chosen length (the bytes behind it are the caller's).
void Header(TChunkWriter& w, uint16_t id, uint32_t length) {
  w.U16(id);
  w.U32(length);
}

// The named object's payload decoded (its name), or the error that gives.
std::string LoadError(TFile3DS& file, ChunkNode* node) {
  return ErrorOf([&] { file.LoadChunkData(node); });
}

}  // namespace

TEST(File3DSBadInput, BadChunkLengthsEndTheWalkOfTheirParent) {
  // Length below 6: the walk of the section stops there, what came before stays.
  auto file = Open(ModelWith([](TChunkWriter& w) {
    Named(w, "A");
    Header(w, kChunkNamedObject, 2);
    Named(w, "B");
  }));
  EXPECT_EQ(ChildIds(Section(*file)), std::vector<uint16_t>{kChunkNamedObject});

  // A child running past its parent's end (but not past the file).
  file = Open(ModelWith([](TChunkWriter& w) {
    Named(w, "A", [](TChunkWriter& w) {
      w.Begin(kChunkTriangleMesh);
      Header(w, kChunkObjHidden, 500);
      w.End();
    });
    Named(w, "B");
  }));
  ChunkNode* a = Section(*file)->Children;
  EXPECT_EQ(ChildIds(a), std::vector<uint16_t>{kChunkTriangleMesh});
  EXPECT_EQ(a->Children->Children, nullptr);
  EXPECT_EQ(ChildIds(Section(*file)), (std::vector<uint16_t>{kChunkNamedObject, kChunkNamedObject}));

  // A truncated file: the root claims more than there is. Cut inside the section, or right
  // behind it, it is a read error.
  TChunkWriter cut;
  cut.Begin(kChunkModelFile);
  cut.Begin(kChunkFileVersion);
  cut.I32(3);
  cut.End();
  cut.Begin(kChunkMeshData);
  Named(cut, "A");
  cut.End();
  cut.End();
  std::vector<uint8_t> bytes = cut.Bytes();
  bytes.resize(bytes.size() - 3);
  EXPECT_EQ(ErrorOf([&] { Open(bytes); }), "Stream read error");
  bytes = cut.Bytes();
  bytes[2] += 4;  // the root's length: the file ends right behind the section
  EXPECT_EQ(ErrorOf([&] { Open(bytes); }), "Stream read error");
  bytes.insert(bytes.end(), {1, 2, 3, 4});  // now stray bytes at the root's end, not a cut
  EXPECT_EQ(ErrorOf([&] { Open(bytes); }), "(no error)");

  // A child whose sub-chunks do not fill it (3 stray bytes at its end): its sibling is still
  // read at the child's end, not where the child's own walk stopped.
  file = Open(ModelWith([](TChunkWriter& w) {
    Named(w, "A", [](TChunkWriter& w) {
      w.Begin(kChunkTriangleMesh);
      w.Begin(kChunkVertexList); w.U16(0); w.End();
      w.U8(0x10); w.U8(0x40); w.U8(0x06);
      w.End();
      w.Begin(kChunkObjFrozen);
      w.End();
    });
  }));
  EXPECT_EQ(ChildIds(Section(*file)->Children), (std::vector<uint16_t>{kChunkTriangleMesh, kChunkObjFrozen}));
  EXPECT_TRUE(file->Objects().MeshAt(0)->Frozen);

  // Files too short for a root header.
  EXPECT_EQ(ErrorOf([] { Open({}); }), "Stream read error");
  EXPECT_EQ(ErrorOf([] { Open({0x4D, 0x4D, 6, 0}); }), "Stream read error");
  // A root length below 6 is a root without children.
  file = Open({0x4D, 0x4D, 2, 0, 0, 0, 0x3D, 0x3D, 6, 0, 0, 0});
  EXPECT_EQ(file->Database().Top->Children, nullptr);
}

TEST(File3DSBadInput, NestingIsLimitedTo64Levels) {
  auto nested = [](int levels) {
    TChunkWriter w;
    w.Begin(kChunkModelFile);
    for (int i = 0; i < levels; ++i) w.Begin(kChunkMeshData);
    for (int i = 0; i < levels; ++i) w.End();
    w.End();
    return w.Bytes();
  };
  auto file = Open(nested(64));
  int depth = 0;
  for (ChunkNode* n = file->Database().Top->Children; n; n = n->Children) ++depth;
  EXPECT_EQ(depth, 64);
  EXPECT_EQ(ErrorOf([&] { Open(nested(65)); }), "Chunks nested deeper than 64 levels");
}

TEST(File3DSBadInput, LongAndUnterminatedStrings) {
  const std::string longName(300, 'n');
  auto file = Open(ModelWith([&](TChunkWriter& w) {
    Named(w, longName, [](TChunkWriter& w) { w.Begin(kChunkTriangleMesh); w.End(); });
  }));
  ChunkNode* object = Section(*file)->Children;
  EXPECT_EQ(ChildIds(object), std::vector<uint16_t>{kChunkTriangleMesh});  // found behind the long name
  ASSERT_EQ(file->Objects().MeshTotal(), 1);
  EXPECT_EQ(file->Objects().MeshAt(0)->Name, std::string(255, 'n'));

  // A name without its zero byte inside its chunk: the object is a leaf and decoding it fails.
  file = Open(ModelWith([](TChunkWriter& w) {
    w.Begin(kChunkNamedObject);
    w.Raw("abc", 3);
    w.End();
    Named(w, "next");
  }));
  ChunkNode* cut = Section(*file)->Children;
  EXPECT_EQ(cut->Children, nullptr);
  EXPECT_EQ(LoadError(*file, cut), "Stream read error");
  EXPECT_EQ(cut->Data, nullptr);
  EXPECT_EQ(ErrorOf([&] { file->Objects().MeshTotal(); }), "Stream read error");

  // A root with an unknown id is decoded raw; one cut by the end of the file is a read error.
  file = Open({0x34, 0x12, 100, 0, 0, 0, 1, 2, 3});
  EXPECT_EQ(LoadError(*file, file->Database().Top), "Stream read error");
}

TEST(File3DSBadInput, CountsLargerThanTheirChunkAreReadErrors) {
  struct Case {
    const char* what;
    TChunkBody body;
  };
  const std::vector<Case> cases = {
      {"vertices", [](TChunkWriter& w) { w.Begin(kChunkVertexList); w.U16(1000); w.Vec(1, 2, 3); w.End(); }},
      {"vertex flags", [](TChunkWriter& w) { w.Begin(kChunkVertexFlags); w.U16(5); w.U16(1); w.End(); }},
      {"faces", [](TChunkWriter& w) { w.Begin(kChunkFaceList); w.U16(0xFFFF); w.End(); }},
      {"texture coordinates", [](TChunkWriter& w) { w.Begin(kChunkTexCoords); w.U16(3); w.F32(0); w.F32(1); w.End(); }},
      {"face indices", [](TChunkWriter& w) { w.Begin(kChunkFaceMaterial); w.Str("M"); w.U16(40); w.U16(1); w.End(); }},
      {"track keys", [](TChunkWriter& w) {
         w.Begin(kChunkPositionTrack); w.U16(0); w.U32(0); w.U32(0); w.U32(0xFFFFFFFF);
         w.U32(0); w.U16(0); w.Vec(1, 1, 1); w.End(); }},
      {"morph keys", [](TChunkWriter& w) {
         w.Begin(kChunkMorphTrack); w.U16(0); w.U32(0); w.U32(0); w.U32(2); w.U32(0); w.U16(0); w.Str("a"); w.End(); }},
      {"key spline values", [](TChunkWriter& w) {
         w.Begin(kChunkFovTrack); w.U16(0); w.U32(0); w.U32(0); w.U32(1); w.U32(0); w.U16(0x1F); w.F32(1); w.End(); }},
      {"fixed record", [](TChunkWriter& w) { w.Begin(kChunkLocalAxes); w.F32(1); w.F32(2); w.End(); }},
      {"mapping", [](TChunkWriter& w) { w.Begin(kChunkMapping); w.U16(1); w.F32(1); w.End(); }},
      {"box map names", [](TChunkWriter& w) { w.Begin(kChunkBoxMap); w.Str("a"); w.Str("b"); w.End(); }},
      {"node header", [](TChunkWriter& w) { w.Begin(kChunkNodeHeader); w.Str("n"); w.U16(0); w.End(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Followed by more data in the file, which a trusted count would run into.
    auto file = Open(ModelWith([&](TChunkWriter& w) {
      c.body(w);
      Named(w, std::string(200, 'x'));
    }));
    ChunkNode* chunk = Section(*file)->Children;
    while (chunk->Next && chunk->Next->Id != kChunkNamedObject) chunk = chunk->Next;
    EXPECT_EQ(LoadError(*file, chunk), "Stream read error");
    EXPECT_EQ(chunk->Data, nullptr);
  }
}

TEST(File3DSBadInput, ShortMeshChunksFailExtractionWithReadError) {
  auto file = Open(ModelWith([](TChunkWriter& w) {
    Named(w, "Box", [](TChunkWriter& w) {
      w.Begin(kChunkTriangleMesh);
      w.Begin(kChunkVertexList); w.U16(3); w.Vec(0, 0, 0); w.End();
      w.End();
    });
  }));
  ASSERT_EQ(file->Objects().MeshTotal(), 1);
  EXPECT_EQ(ErrorOf([&] { file->Objects().MeshAt(0); }), "Stream read error");
}

TEST(File3DSBadInput, MissingFileNamesIt) {
  EXPECT_EQ(ErrorOf([] { TFile3DS("/nonexistent/dir/model.3ds"); }), "Cannot open file /nonexistent/dir/model.3ds");
}

// ---- Time and memory on 16 MiB worst cases ----

namespace {

constexpr size_t kWorstCaseBytes = 16u << 20;

struct Cost {
  double Seconds = 0;     // processor time (user + system): other builds on the machine do not count
  double WallSeconds = 0;
  double PeakMiB = 0;
  int32_t Meshes = -1;
  std::string Error;
};

// Opens the bytes and extracts every mesh: the mesh count and "-" or the reader's error.
std::string ExtractAll(std::vector<uint8_t> bytes, int32_t& meshes) {
  meshes = -1;
  try {
    TFile3DS file("worst.3ds", std::move(bytes));
    meshes = file.Objects().MeshTotal();
    for (int32_t i = 0; i < meshes; ++i) file.Objects().MeshAt(i);
  } catch (const E3DSError& e) {
    return e.what();
  }
  return "-";
}

#ifndef _WIN32
// Opens the bytes and extracts every mesh in a child process, so its peak resident size and its
// processor time are the reader's and not what earlier tests left behind.
Cost OpenAndExtractAll(std::vector<uint8_t> bytes) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    char report[512];
    const auto start = std::chrono::steady_clock::now();
    int32_t meshes = -1;
    const std::string error = ExtractAll(std::move(bytes), meshes);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int n = std::snprintf(report, sizeof report, "%.6f %d %s", seconds, meshes, error.c_str());
    if (::write(fds[1], report, static_cast<size_t>(n)) != n) ::_exit(2);
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string report;
  char buffer[256];
  for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, static_cast<size_t>(got));
  ::close(fds[0]);
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  Cost cost;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    cost.Error = "child failed";
    return cost;
  }
  char error[256] = {};
  std::sscanf(report.c_str(), "%lf %d %255[^\n]", &cost.WallSeconds, &cost.Meshes, error);
  cost.Seconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  cost.Error = error;
  cost.PeakMiB = usage.ru_maxrss / 1024.0;  // KiB on Linux
  return cost;
}
#else
// Without fork: in this process, its processor time measured around the work. The peak memory
// would be what earlier tests left behind, so it is not measured (0).
Cost OpenAndExtractAll(std::vector<uint8_t> bytes) {
  Cost cost;
  const double before = ProcessorSecondsOfThisProcess();
  const auto start = std::chrono::steady_clock::now();
  cost.Error = ExtractAll(std::move(bytes), cost.Meshes);
  cost.WallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  cost.Seconds = ProcessorSecondsOfThisProcess() - before;
  return cost;
}
#endif

void ExpectWithinBudget(const char* what, const Cost& cost) {
  std::printf("[ worst case ] %s: %.3f s processor (%.3f s wall), peak %.1f MiB, meshes %d, error \"%s\"\n",
              what, cost.Seconds, cost.WallSeconds, cost.PeakMiB, cost.Meshes, cost.Error.c_str());
  if (kSanitized) return;  // sanitizer builds are several times slower and larger
  EXPECT_LT(cost.Seconds, 1.0) << what;
  EXPECT_LT(cost.PeakMiB, 256.0) << what;
}

// A 16 MiB model file: root and mesh-data section, then `unit` repeated while it fits.
std::vector<uint8_t> FillModel(const std::vector<uint8_t>& unit, size_t limit = kWorstCaseBytes) {
  const size_t count = (limit - 12) / unit.size();
  std::vector<uint8_t> bytes;
  bytes.reserve(12 + count * unit.size());
  const uint32_t sectionLength = static_cast<uint32_t>(6 + count * unit.size());
  auto header = [&](uint16_t id, uint32_t length) {
    bytes.push_back(static_cast<uint8_t>(id));
    bytes.push_back(static_cast<uint8_t>(id >> 8));
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(length >> (8 * i)));
  };
  header(kChunkModelFile, sectionLength + 6);
  header(kChunkMeshData, sectionLength);
  for (size_t i = 0; i < count; ++i) bytes.insert(bytes.end(), unit.begin(), unit.end());
  return bytes;
}

std::vector<uint8_t> Unit(const TChunkBody& body) {
  TChunkWriter w;
  body(w);
  return w.Bytes();
}

}  // namespace

TEST(File3DSBounds, EmptyChunksInOneContainer) {
  const Cost cost = OpenAndExtractAll(FillModel(Unit([](TChunkWriter& w) { w.Begin(0x0001); w.End(); })));
  EXPECT_EQ(cost.Error, "-");
  EXPECT_EQ(cost.Meshes, 0);
  ExpectWithinBudget("16 MiB of empty chunks", cost);
}

TEST(File3DSBounds, TinyNamedObjectsAreLimited) {
  const std::vector<uint8_t> tiny = Unit([](TChunkWriter& w) {
    w.Begin(kChunkNamedObject);
    w.Str("");
    w.Begin(kChunkTriangleMesh);
    w.End();
    w.End();
  });
  Cost cost = OpenAndExtractAll(FillModel(tiny));
  EXPECT_EQ(cost.Error, "More than 65535 named objects in one file");
  ExpectWithinBudget("16 MiB of tiny named objects", cost);

  cost = OpenAndExtractAll(FillModel(tiny, 12 + 65535 * tiny.size()));
  EXPECT_EQ(cost.Error, "-");
  EXPECT_EQ(cost.Meshes, 65535);
  ExpectWithinBudget("65535 tiny mesh objects, all extracted", cost);
}

TEST(File3DSBounds, DeepNestsSideBySide) {
  const std::vector<uint8_t> nest = Unit([](TChunkWriter& w) {
    for (int i = 0; i < 63; ++i) w.Begin(kChunkMeshData);
    for (int i = 0; i < 63; ++i) w.End();
  });
  const Cost cost = OpenAndExtractAll(FillModel(nest));
  EXPECT_EQ(cost.Error, "-");
  ExpectWithinBudget("16 MiB of 64-level nests", cost);
}

// Every node has the one before it as parent, so every node header gets a parent-name chunk.
std::vector<uint8_t> ManyKeyFramerNodes() {
  std::vector<uint8_t> nodes;
  int16_t id = 0;
  while (nodes.size() < kWorstCaseBytes - 64) {
    const std::vector<uint8_t> node = Unit([&](TChunkWriter& w) {
      w.Begin(kChunkObjectNode);
      w.Begin(kChunkNodeId); w.I16(id); w.End();
      w.Begin(kChunkNodeHeader); w.Str("n"); w.U16(0); w.U16(0); w.I16(static_cast<int16_t>(id - 1)); w.End();
      w.End();
    });
    nodes.insert(nodes.end(), node.begin(), node.end());
    id = static_cast<int16_t>(id + 1);
  }
  TChunkWriter w;
  w.Begin(kChunkModelFile);
  w.Begin(kChunkKeyFramer);
  w.Raw(nodes.data(), nodes.size());
  w.End();
  w.End();
  return w.Bytes();
}

TEST(File3DSBounds, KeyFramerWithManyNodes) {
  const Cost cost = OpenAndExtractAll(ManyKeyFramerNodes());
  EXPECT_EQ(cost.Error, "-");
  ExpectWithinBudget("16 MiB keyframer of parented nodes", cost);
}

// Children that all name one parent with a 255-character name and instance name; empty nodes.
TEST(File3DSBounds, KeyFramerShapesBehindAMesh) {
  for (const std::string& shape : KeyframerShapes()) {
    const Cost cost = OpenAndExtractAll(KeyframerShapeBytes(shape, kWorstCaseBytes));
    EXPECT_EQ(cost.Error, "-") << shape;
    EXPECT_EQ(cost.Meshes, 1) << shape;
    ExpectWithinBudget(("16 MiB keyframer shape " + shape).c_str(), cost);
  }
}

std::vector<uint8_t> ManyMaterialGroups() {
  const std::vector<uint8_t> group = Unit([](TChunkWriter& w) {
    w.Begin(kChunkFaceMaterial); w.Str(""); w.U16(0); w.End();
  });
  std::vector<uint8_t> groups;
  while (groups.size() < kWorstCaseBytes - 64) groups.insert(groups.end(), group.begin(), group.end());
  return ModelWith([&](TChunkWriter& w) {
    Named(w, "m", [&](TChunkWriter& w) {
      w.Begin(kChunkTriangleMesh);
      w.Begin(kChunkFaceList);
      w.U16(0);
      w.Raw(groups.data(), groups.size());
      w.End();
      w.End();
    });
  });
}

TEST(File3DSBounds, ManyMaterialGroupsAreLimited) {
  const Cost cost = OpenAndExtractAll(ManyMaterialGroups());
  EXPECT_EQ(cost.Error, "More than 65535 material groups in one mesh");
  ExpectWithinBudget("16 MiB of material groups", cost);
}
