// The 3DS chunk reader. Opening a file reads it into memory once and builds the whole chunk tree
// from the headers; a chunk's payload is decoded into a typed block (Types3DS.h) only when asked.
// Mesh extraction and the object, material and keyframe containers are in Utils3DS.h.
//
// Contract: a TFile3DS never reads outside its bytes and never allocates more than its bytes can
// back. Every failure is an E3DSError: "Cannot open file NAME", "Stream read error" (a read past
// the end of its chunk or of the file, a count larger than its chunk, a string without its zero
// byte, a file that ends before its root chunk does), "Not enough memory to complete
// operation.", "Chunks nested deeper than 64 levels". A chunk with a length below 6, or running
// past its parent, ends the walk of its parent there: what was read before it stays, the chunk
// itself is not added. Damage in the keyframer section (a node that does not decode, the section
// cut by the end of the file) does not fail the open, as nothing of the meshes depends on it: the
// keyframer passes stop there and KeyFramerDamage says what was wrong.
#pragma once
#include "models3ds/Types3DS.h"
#include "models3ds/Utils3DS.h"
#include "platform/ReadContext.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

// Deepest chunk level the walker accepts (the root's children are level 1).
constexpr int32_t kMaxChunkDepth = 64;

// A read cursor over the file's bytes. Reads stop at the limit (the end of the chunk being
// decoded, never beyond the end of the bytes) and fail with "Stream read error".
class T3DSStream {
 public:
  explicit T3DSStream(std::vector<uint8_t> bytes);
  // Number of bytes (files past 4 GiB are seen up to 4 GiB, as chunk positions are 32-bit).
  uint32_t Size() const { return size_; }
  uint32_t Position() const { return position_; }
  // Moves the cursor; positions past the limit are allowed, reading there fails.
  void Seek(uint32_t position) { position_ = position; }
  // Reads may not pass `end` (clamped to the size).
  void SetLimit(uint64_t end);
  uint32_t Limit() const { return limit_; }
  // Bytes between the cursor and the limit.
  uint32_t Remaining() const { return position_ < limit_ ? limit_ - position_ : 0; }
  uint8_t ReadU8();
  uint16_t ReadU16();
  int16_t ReadI16();
  uint32_t ReadU32();
  int32_t ReadI32();
  float ReadF32();
  TPoint3DS ReadVector3();
  // Bytes up to a zero byte, which is consumed. Keeps at most 255 bytes of a longer string.
  std::string ReadZeroTerminated();
  // Exactly n bytes into out.
  void ReadBytes(void* out, size_t n);
  // Skips n bytes; false (cursor unmoved) when they are not there.
  bool TrySkip(uint64_t n);
  // Skips a string with its zero byte; false (cursor unmoved) when the zero byte is not there.
  bool TrySkipZeroTerminated();

 private:
  std::vector<uint8_t> bytes_;
  uint32_t size_ = 0;
  uint32_t position_ = 0;
  uint32_t limit_ = 0;
};

// One chunk of the tree. Nodes live in their file's arena; links never own.
struct ChunkNode {
  uint16_t Id = 0;
  uint32_t Length = 0;    // from the header: 6 header bytes + own data + sub-chunks
  uint32_t Position = 0;  // file offset of the header
  std::unique_ptr<TChunkData> Data;  // decoded payload; empty until LoadChunkData
  ChunkNode* Next = nullptr;         // next sibling, file order
  ChunkNode* Children = nullptr;     // first sub-chunk

  // The payload as block type T, or null when absent or of another type.
  template <class T> T* DataAs() const { return dynamic_cast<T*>(Data.get()); }
};

struct NamedChunk {
  std::string Name;
  ChunkNode* Chunk = nullptr;
};
// The named objects of the mesh-data section, in file order.
struct NamedChunkList {
  int32_t Count = 0;
  std::vector<NamedChunk> Entries;
};

struct ChunkDatabase {
  ChunkNode* Top = nullptr;
  bool ObjectIndexDirty = true, MaterialIndexDirty = true, NodeIndexDirty = true;
  std::unique_ptr<NamedChunkList> ObjectIndex, MaterialIndex, NodeIndex;
  // The index entries whose object holds a triangle mesh, in order: mesh number n is entry n.
  std::vector<ChunkNode*> MeshObjects;
};

// One keyframer node while the file is opened. A file may hold millions of nodes, so the entry is
// small: its names are kept in the index's name pool, and the parent name built from them is
// made once and shared by every child that names this node as its parent.
struct TNodeList {
  int16_t Id = 0;
  uint16_t Tag = 0;
  int16_t ParentId = 0;
  uint8_t NameLength = 0, InstanceNameLength = 0;  // names are at most 255 bytes
  uint32_t NamesAt = 0;     // offset of the name, then the instance name, in the name pool
  uint32_t ParentName = 0;  // 1 + slot of the parent name made from this entry; 0: not made yet
};

class TFile3DS {
 public:
  // Reads the file once (its name resolved by `files`) and builds the chunk tree.
  explicit TFile3DS(const std::string& fileName, const TReadContext& files = TReadContext());
  // The same from bytes already in memory; fileName is only kept.
  TFile3DS(const std::string& fileName, std::vector<uint8_t> bytes);
  virtual ~TFile3DS();
  TFile3DS(const TFile3DS&) = delete;
  TFile3DS& operator=(const TFile3DS&) = delete;

  // The containers filled from this file (owned by it).
  TObjectList& Objects() { return *Objects_; }
  TMaterialList& Materials() { return *Materials_; }
  TKeyFramer& KeyFramer() { return *KeyFramer_; }
  const std::string& FileName() const { return FileName_; }
  // The tree and its indexes.
  ChunkDatabase& Database() { return Database_; }
  T3DSStream& Stream() { return Stream_; }
  // Number of nodes made so far (open plus parent names).
  size_t NodeCount() const { return Arena_.size(); }
  // What was wrong with the keyframer section, empty when nothing was.
  const std::string& KeyFramerDamage() const { return KeyFramerDamage_; }

  // A new zeroed node from the arena.
  ChunkNode* NewChunkNode();
  // Appends child after lastChild (the parent's current last child, or null when it has none)
  // and makes it the new lastChild: O(1), the caller keeps the tail.
  static void AppendChildChunk(ChunkNode& parent, ChunkNode* child, ChunkNode*& lastChild);
  // Pre-order search from start (inclusive) through its sub-chunks; siblings are not searched.
  static ChunkNode* FindChunkDeep(ChunkNode* start, uint16_t id);
  // First node with the id in the sibling chain from start (inclusive); children not searched.
  static ChunkNode* FindChunkAmongSiblings(ChunkNode* start, uint16_t id);
  // Decodes the node's payload unless it is already there.
  void LoadChunkData(ChunkNode* node);
  // Frees the node's payload.
  static void DropChunkData(ChunkNode* node);
  // Drops the payloads of the sibling chain and everything below it and unlinks it (the nodes'
  // memory goes with the file's arena).
  static void ReleaseChunkTree(ChunkNode* first);
  [[noreturn]] static void Raise3DSError(const std::string& message);

  // Mesh objects (Utils3DS.cpp).
  void UpdateObjectIndex();
  int32_t CountMeshObjects();
  void ExtractMeshByIndex(int32_t index, TMesh3DS& mesh);
  void ExtractMesh(ChunkNode* object, TMesh3DS& mesh);

 private:
  void ReadFileChunks();
  template <class Next>
  bool WalkChildHeaders(ChunkNode& parent, Next&& next);
  ChunkNode* AddChild(ChunkNode& parent, ChunkNode*& last, uint16_t id, uint32_t length,
                      uint64_t at, int32_t depth);
  void ReadChildChunks(ChunkNode& parent, int32_t depth);
  void ChunkCutByEndOfFile(uint16_t id);
  void ReadExtendedDataChildren(ChunkNode& parent, int32_t depth);
  // Steps over the chunk's own data; false when it does not fit in the chunk (then the chunk
  // has no sub-chunks to walk).
  bool SkipOwnData(const ChunkNode& node);
  bool BuildNodeIndex();
  void AttachParentNames();
  template <class Step>
  bool KeyFramerStep(const ChunkNode& node, Step&& step);
  std::string NodeName(const TNodeList& entry) const;
  std::string NodeInstanceName(const TNodeList& entry) const;
  void ReleaseDatabase();

  // Only while the file is opened: the keyframer node index, its names and the parent names.
  std::vector<TNodeList> NodeIndex_;
  std::string NodeNames_;
  std::vector<std::shared_ptr<const std::string>> ParentNames_;
  std::string KeyFramerDamage_;
  T3DSStream Stream_;
  std::deque<ChunkNode> Arena_;
  ChunkDatabase Database_;
  std::unique_ptr<TMaterialList> Materials_;
  std::unique_ptr<TObjectList> Objects_;
  std::unique_ptr<TKeyFramer> KeyFramer_;
  std::string FileName_;
};
