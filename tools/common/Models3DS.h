// Writing 3DS model files from code: a little-endian chunk builder, a writer for complete model
// files made of mesh objects, and the named model kinds the tests, tools and benchmarks use.
// Every file written here is Z up, its triangles counter-clockwise seen from outside, with at most
// 65535 vertices and faces per object and every face index below its object's vertex count.
// A chunk is id (u16), length (u32, counting its 6 header bytes, own data and sub-chunks), own
// data, sub-chunks.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TModelMesh {                       // one mesh object as written (file coordinates, Z up)
  std::string Name;
  std::vector<std::array<float, 3>> Vertices;
  std::vector<std::array<float, 2>> TexCoords;   // empty: no 0x4140 chunk written
  std::vector<std::array<uint16_t, 3>> Faces;    // counter-clockwise seen from outside
};

// Builds chunk files in memory. Begin writes a header with a placeholder length; End patches the
// length of the innermost open chunk. The primitive writers append little-endian values anywhere,
// so malformed files (wrong lengths, bad counts) can be hand-built too.
class TChunkWriter {
 public:
  // Opens a chunk with this id; its length is filled in by the matching End.
  void Begin(uint16_t id);
  // Closes the innermost open chunk; throws std::logic_error when none is open.
  void End();
  // Appends one value, little-endian.
  void U8(uint8_t value);
  void U16(uint16_t value);
  void I16(int16_t value);
  void U32(uint32_t value);
  void I32(int32_t value);
  void F32(float value);
  // Appends a point: three floats x, y, z.
  void Vec(float x, float y, float z);
  // Appends the string's bytes and a zero byte.
  void Str(const std::string& text);
  // Appends n bytes as they are.
  void Raw(const void* data, size_t n);
  // Everything written so far (chunks still open carry a zero length).
  const std::vector<uint8_t>& Bytes() const;
  // Number of chunks opened and not yet closed.
  size_t OpenChunks() const;

 private:
  std::vector<uint8_t> bytes_;
  std::vector<size_t> openStarts_;   // offsets of the headers of the open chunks
};

// Appends one named object 0x4000 holding the mesh as a triangle mesh 0x4100 (vertices, texture
// coordinates when present, local axes, faces with a material group and smoothing groups).
// Throws std::invalid_argument for a mesh that cannot be written (over 65535 vertices or faces,
// a face index not below the vertex count, a texture coordinate count other than the vertex count).
void WriteMeshObject(TChunkWriter& writer, const TModelMesh& mesh);
// A complete 3DS model file (root 0x4D4D, version, 0x3D3D with one named object per mesh).
// Throws std::invalid_argument as WriteMeshObject does.
std::vector<uint8_t> Model3DSBytes(const std::vector<TModelMesh>& meshes);
// Kinds: "cube" (boxpixel voxel cube), "sphere", "torus", "duck", "multi" (three mesh objects),
// "lightcam" (mesh, light, camera, mesh), "keyframer" (meshes + keyframer section with object, camera
// and light nodes and tracks), "matlib" (material library, root 0x3DAA), "large" (several objects,
// ~60k triangles), "envball" (optional extra); also each keyframer shape below, at 4 KiB. Empty
// vector for an unknown kind.
std::vector<uint8_t> ModelFileBytes(const std::string& kind);
// Keyframer sections that cost a reader memory per node, for bounds tests and fuzz seeds:
// "kfnames" (a parent node with a 255-character name and instance name, then child nodes that
// name it as their parent) and "kfempty" (empty node chunks). Not in ModelKinds.
std::vector<std::string> KeyframerShapes();
// A cube model whose keyframer section is filled with nodes of the shape while the file stays
// within `size` bytes. Empty vector for an unknown shape.
std::vector<uint8_t> KeyframerShapeBytes(const std::string& shape, size_t size);
// The meshes a kind's file holds, exactly as written (for round-trip checks).
std::vector<TModelMesh> ModelFileMeshes(const std::string& kind);
// The names of all kinds ModelFileBytes knows.
std::vector<std::string> ModelKinds();
// Writes ModelFileBytes(kind) to path; false with the reason on failure.
bool WriteModelFile(const std::string& kind, const std::string& path, std::string& error);
