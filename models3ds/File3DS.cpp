#include "models3ds/File3DS.h"

#include "models3ds/Const3DS.h"
#include "platform/Files.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace {

const char kReadError[] = "Stream read error";
const char kNoMemory[] = "Not enough memory to complete operation.";
constexpr uint32_t kHeaderSize = 6;
constexpr size_t kMaxStringBytes = 255;

bool InRange(uint16_t id, uint16_t first, uint16_t last) { return id >= first && id <= last; }

// Chunks whose sub-chunks start right behind their header.
bool IsPureContainer(uint16_t id) {
  switch (id) {
    case 0x1200: case 0x2100: case 0x2D2D: case 0x2D3D: case 0x3000: case 0x3D3D: case 0x3DAA:
    case 0x3DFF: case 0x4100: case 0x4D4D: case 0x8000: case 0x8001: case 0xA010: case 0xA020:
    case 0xA030: case 0xA050: case 0xA052: case 0xA053: case 0xA084: case 0xA200: case 0xA204:
    case 0xA210: case 0xA220: case 0xA230: case 0xA33A: case 0xA340: case 0xA342: case 0xA344:
    case 0xA346: case 0xA348: case 0xA34A: case 0xA34C: case 0xC23D:
      return true;
    default:
      return InRange(id, 0xA040, 0xA042) || InRange(id, 0xA33C, 0xA33E) || InRange(id, 0xAFFF, 0xB007);
  }
}

// Size of the fixed record in front of a chunk's sub-chunks; -1 when the id has none.
int32_t FixedOwnDataSize(uint16_t id) {
  if (IsPureContainer(id)) return 0;
  switch (id) {
    case 0x0030: case 0x1420: case 0x1430: case 0xB030: return 2;
    case 0x0011: return 3;
    case 0x0002: case 0x0031: case 0x0100: case 0x1300: case 0x1400: case 0x1410: case 0x3D3E:
    case 0xB009: case 0xB015: case 0xD000: return 4;
    case 0xB008: return 8;
    case 0x4641: return 10;
    case 0x0010: case 0x1500: case 0x4600: case 0xA310: case 0xB013: return 12;
    case 0x7001: return 14;
    case 0x2200: case 0x2300: case 0x2302: case 0x3010: case 0x3020: case 0x3030: case 0x3040:
    case 0x3050: case 0x3060: return 16;
    case 0x4610: return 20;
    case 0xB014: return 24;
    case 0x3070: return 28;
    case 0x4700: return 32;
    case 0x4160: return 48;
    default: return -1;
  }
}

// Chunks that start with a name and have their sub-chunks behind it.
bool StartsWithName(uint16_t id) {
  switch (id) {
    case 0x1100: case 0x3080: case 0x4000: case 0x4181: case 0xA000: case 0xA300: case 0xB011:
      return true;
    default:
      return false;
  }
}

bool IsKeyFramerNode(uint16_t id) { return InRange(id, kChunkObjectNode, kChunkSpotlightNode); }

uint64_t ChunkEnd(const ChunkNode& node) { return uint64_t{node.Position} + node.Length; }

// Reads the whole file. Linux has no share mode that keeps other writers out and no error beep;
// the bytes are read once here and the file is closed again.
std::vector<uint8_t> ReadModelFile(const std::string& fileName, const TReadContext& files) {
  std::vector<uint8_t> bytes;
  if (!files.ReadWholeFile(fileName, bytes))
    TFile3DS::Raise3DSError("Cannot open file " + fileName + files.NotFoundNote(fileName));
  return bytes;
}

}  // namespace

// ---- T3DSStream ----

T3DSStream::T3DSStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
  size_ = static_cast<uint32_t>(std::min<size_t>(bytes_.size(), std::numeric_limits<uint32_t>::max()));
  limit_ = size_;
}

void T3DSStream::SetLimit(uint64_t end) { limit_ = static_cast<uint32_t>(std::min<uint64_t>(end, size_)); }

void T3DSStream::ReadBytes(void* out, size_t n) {
  if (n > Remaining()) TFile3DS::Raise3DSError(kReadError);
  if (n > 0) std::memcpy(out, bytes_.data() + position_, n);
  position_ += static_cast<uint32_t>(n);
}

bool T3DSStream::TrySkip(uint64_t n) {
  if (n > Remaining()) return false;
  position_ += static_cast<uint32_t>(n);
  return true;
}

bool T3DSStream::TrySkipZeroTerminated() {
  if (position_ >= limit_) return false;
  const uint8_t* begin = bytes_.data() + position_;
  const void* zero = std::memchr(begin, 0, limit_ - position_);
  if (!zero) return false;
  position_ += static_cast<uint32_t>(static_cast<const uint8_t*>(zero) - begin) + 1;
  return true;
}

uint8_t T3DSStream::ReadU8() {
  uint8_t v;
  ReadBytes(&v, 1);
  return v;
}

uint16_t T3DSStream::ReadU16() {
  uint8_t b[2];
  ReadBytes(b, 2);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

int16_t T3DSStream::ReadI16() { return static_cast<int16_t>(ReadU16()); }

uint32_t T3DSStream::ReadU32() {
  uint8_t b[4];
  ReadBytes(b, 4);
  return uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}

int32_t T3DSStream::ReadI32() { return static_cast<int32_t>(ReadU32()); }

float T3DSStream::ReadF32() {
  const uint32_t bits = ReadU32();
  float v;
  std::memcpy(&v, &bits, 4);
  return v;
}

TPoint3DS T3DSStream::ReadVector3() {
  TPoint3DS p;
  p.X = ReadF32();
  p.Y = ReadF32();
  p.Z = ReadF32();
  return p;
}

std::string T3DSStream::ReadZeroTerminated() {
  const uint32_t start = position_;
  if (!TrySkipZeroTerminated()) TFile3DS::Raise3DSError(kReadError);
  const size_t length = std::min<size_t>(position_ - start - 1, kMaxStringBytes);
  return std::string(reinterpret_cast<const char*>(bytes_.data() + start), length);
}

// ---- TFile3DS: open and close ----

TFile3DS::TFile3DS(const std::string& fileName, const TReadContext& files)
    : TFile3DS(fileName, ReadModelFile(fileName, files)) {}

TFile3DS::TFile3DS(const std::string& fileName, std::vector<uint8_t> bytes)
    : Stream_(std::move(bytes)),
      Materials_(std::make_unique<TMaterialList>(*this)),
      Objects_(std::make_unique<TObjectList>(*this)),
      KeyFramer_(std::make_unique<TKeyFramer>(*this)),
      FileName_(fileName) {
  ReadFileChunks();
}

TFile3DS::~TFile3DS() {
  KeyFramer_.reset();
  Objects_.reset();
  Materials_.reset();
  ReleaseDatabase();
}

void TFile3DS::ReleaseDatabase() {
  ReleaseChunkTree(Database_.Top);
  Database_.Top = nullptr;
  Database_.ObjectIndex.reset();
  Database_.MaterialIndex.reset();
  Database_.NodeIndex.reset();
  Database_.MeshObjects.clear();
}

void TFile3DS::Raise3DSError(const std::string& message) { throw E3DSError(message); }

void TFile3DS::ReadFileChunks() {
  ChunkNode* top = NewChunkNode();
  Database_.Top = top;
  Stream_.SetLimit(Stream_.Size());
  Stream_.Seek(0);
  top->Id = Stream_.ReadU16();
  top->Length = Stream_.ReadU32();
  if (top->Id != kChunkModelFile && top->Id != kChunkProjectFile && top->Id != kChunkMaterialLibrary)
    return;
  ReadChildChunks(*top, 0);
  if (BuildNodeIndex()) AttachParentNames();
  std::vector<TNodeList>().swap(NodeIndex_);
  std::string().swap(NodeNames_);
  std::vector<std::shared_ptr<const std::string>>().swap(ParentNames_);
}

// ---- The walk ----

bool TFile3DS::SkipOwnData(const ChunkNode& node) {
  const int32_t fixed = FixedOwnDataSize(node.Id);
  if (fixed >= 0) return Stream_.TrySkip(static_cast<uint64_t>(fixed));
  if (StartsWithName(node.Id)) return Stream_.TrySkipZeroTerminated();
  switch (node.Id) {
    case kChunkFaceList: {
      if (Stream_.Remaining() < 2) return false;
      const uint16_t faces = Stream_.ReadU16();
      return Stream_.TrySkip(8ull * faces);
    }
    case kChunkKeyFramerHeader:
      return Stream_.TrySkip(2) && Stream_.TrySkipZeroTerminated() && Stream_.TrySkip(4);
    case kChunkNodeHeader:
      return Stream_.TrySkipZeroTerminated() && Stream_.TrySkip(6);
    default:
      return false;  // a leaf: its whole rest is own data
  }
}

// The headers of the sub-chunks of `parent`, behind its own data and up to its end (never past
// the file). For each header `next`(id, length, at) says where the walk goes on: the offset of
// the next header, or 0 to stop. The cursor is moved to each child's end explicitly rather
// than trusted to be left there by the child's own walk, so a child whose content does not
// fill its length cannot shift its siblings. True when the file ends before the parent does
// with no room left for the next header.
template <class Next>
bool TFile3DS::WalkChildHeaders(ChunkNode& parent, Next&& next) {
  const uint64_t end = std::min<uint64_t>(ChunkEnd(parent), Stream_.Size());
  if (parent.Length < kHeaderSize) return false;
  Stream_.SetLimit(end);
  Stream_.Seek(parent.Position + kHeaderSize);
  if (!SkipOwnData(parent)) return false;
  uint64_t at = Stream_.Position();
  while (at + kHeaderSize <= end) {
    Stream_.SetLimit(end);
    Stream_.Seek(static_cast<uint32_t>(at));
    const uint16_t id = Stream_.ReadU16();
    const uint32_t length = Stream_.ReadU32();
    at = next(id, length, at, end);
    if (at == 0) return false;
  }
  return ChunkEnd(parent) > Stream_.Size();
}

// A child node for a header found at `at`, appended behind `last`.
ChunkNode* TFile3DS::AddChild(ChunkNode& parent, ChunkNode*& last, uint16_t id, uint32_t length,
                              uint64_t at, int32_t depth) {
  if (depth >= kMaxChunkDepth) Raise3DSError("Chunks nested deeper than 64 levels");
  ChunkNode* child = NewChunkNode();
  child->Id = id;
  child->Length = length;
  child->Position = static_cast<uint32_t>(at);
  AppendChildChunk(parent, child, last);
  return child;
}

// Every chunk but the root is walked only when it lies within the file, so only the root's walk
// can meet the end of the file; deeper down a chunk that runs past the file runs past its parent.
void TFile3DS::ReadChildChunks(ChunkNode& parent, int32_t depth) {
  ChunkNode* last = nullptr;
  const bool parentCut = ChunkEnd(parent) > Stream_.Size();
  auto child = [&](uint16_t id, uint32_t length, uint64_t at, uint64_t end) -> uint64_t {
    if (length < kHeaderSize) return 0;
    if (parentCut && at + length > Stream_.Size()) {
      ChunkCutByEndOfFile(id);
      return 0;
    }
    if (at + length > end) return 0;
    ChunkNode* node = AddChild(parent, last, id, length, at, depth);
    if (id == kChunkExtendedEntry)
      ReadExtendedDataChildren(*node, depth + 1);
    else
      ReadChildChunks(*node, depth + 1);
    return at + length;
  };
  if (WalkChildHeaders(parent, child)) Raise3DSError(kReadError);
}

// A truncated file: the read error, unless what is cut off is the keyframer section, which the
// meshes do not depend on.
void TFile3DS::ChunkCutByEndOfFile(uint16_t id) {
  if (id != kChunkKeyFramer) Raise3DSError(kReadError);
  KeyFramerDamage_ = "the section is cut short by the end of the file";
}

// Inside an extended-data entry only ids 0x8002-0x800F belong; any other id ends the entry.
void TFile3DS::ReadExtendedDataChildren(ChunkNode& parent, int32_t depth) {
  ChunkNode* last = nullptr;
  WalkChildHeaders(parent, [&](uint16_t id, uint32_t length, uint64_t at, uint64_t end) -> uint64_t {
    if (!InRange(id, kChunkExtendedFirst, kChunkExtendedLast) || length < kHeaderSize) return 0;
    if (at + length > end) return at + kHeaderSize;  // too long for the entry: read on behind it
    ReadExtendedDataChildren(*AddChild(parent, last, id, length, at, depth), depth + 1);
    return at + length;
  });
}

// ---- Tree operations ----

ChunkNode* TFile3DS::NewChunkNode() {
  try {
    return &Arena_.emplace_back();
  } catch (const std::bad_alloc&) {
    Raise3DSError(kNoMemory);
  }
}

void TFile3DS::AppendChildChunk(ChunkNode& parent, ChunkNode* child, ChunkNode*& lastChild) {
  child->Next = nullptr;
  if (lastChild)
    lastChild->Next = child;
  else
    parent.Children = child;
  lastChild = child;
}

ChunkNode* TFile3DS::FindChunkDeep(ChunkNode* start, uint16_t id) {
  if (!start) return nullptr;
  if (start->Id == id) return start;
  for (ChunkNode* child = start->Children; child; child = child->Next)
    if (ChunkNode* hit = FindChunkDeep(child, id)) return hit;
  return nullptr;
}

ChunkNode* TFile3DS::FindChunkAmongSiblings(ChunkNode* start, uint16_t id) {
  for (ChunkNode* node = start; node; node = node->Next)
    if (node->Id == id) return node;
  return nullptr;
}

void TFile3DS::DropChunkData(ChunkNode* node) {
  if (node) node->Data.reset();
}

void TFile3DS::ReleaseChunkTree(ChunkNode* first) {
  for (ChunkNode* node = first; node; node = node->Next) {
    ReleaseChunkTree(node->Children);
    node->Children = nullptr;
    DropChunkData(node);
  }
}

// ---- Keyframer node index and parent names ----

// Runs one step of the keyframer passes on a node. A read error there is kept as the keyframer's
// damage and ends the passes (false); running out of memory still fails the open.
template <class Step>
bool TFile3DS::KeyFramerStep(const ChunkNode& node, Step&& step) {
  try {
    step();
    return true;
  } catch (const E3DSError& error) {
    if (std::strcmp(error.what(), kNoMemory) == 0) throw;
    KeyFramerDamage_ = "node at byte " + std::to_string(node.Position) + ": " + error.what();
    return false;
  }
}

std::string TFile3DS::NodeName(const TNodeList& entry) const {
  return NodeNames_.substr(entry.NamesAt, entry.NameLength);
}

std::string TFile3DS::NodeInstanceName(const TNodeList& entry) const {
  return NodeNames_.substr(entry.NamesAt + entry.NameLength, entry.InstanceNameLength);
}

// False when a node of the section does not decode.
bool TFile3DS::BuildNodeIndex() {
  ChunkNode* section = FindChunkDeep(Database_.Top, kChunkKeyFramer);
  if (!section) return true;
  size_t count = 0;
  for (ChunkNode* node = section->Children; node; node = node->Next) count += IsKeyFramerNode(node->Id);
  try {
    NodeIndex_.reserve(count);
  } catch (const std::bad_alloc&) {
    Raise3DSError(kNoMemory);
  }
  bool unnumbered = false;
  for (ChunkNode* node = section->Children; node; node = node->Next) {
    if (!IsKeyFramerNode(node->Id)) continue;
    TNodeList& entry = NodeIndex_.emplace_back();
    ChunkNode* header = FindChunkDeep(node, kChunkNodeHeader);
    if (!header) continue;
    const bool decoded = KeyFramerStep(*node, [&] {
      LoadChunkData(header);
      const TNodeHeaderData* head = header->DataAs<TNodeHeaderData>();
      if (!head) return;
      entry.Id = -1;
      if (ChunkNode* idChunk = FindChunkDeep(node, kChunkNodeId)) {
        LoadChunkData(idChunk);
        if (const TShortData* id = idChunk->DataAs<TShortData>()) entry.Id = id->Value;
        DropChunkData(idChunk);
      }
      entry.Tag = node->Id;
      entry.ParentId = head->ParentId;
      std::string instanceName;
      if (node->Id == kChunkObjectNode) {
        if (ChunkNode* instance = FindChunkDeep(node, kChunkInstanceName)) {
          LoadChunkData(instance);
          if (TStringData* name = instance->DataAs<TStringData>()) instanceName = std::move(name->Value);
          DropChunkData(instance);
        }
      }
      // Both names come from the file and are at most 255 bytes, so the pool grows by no more
      // than the file holds.
      entry.NamesAt = static_cast<uint32_t>(NodeNames_.size());
      entry.NameLength = static_cast<uint8_t>(head->ObjectName.size());
      entry.InstanceNameLength = static_cast<uint8_t>(instanceName.size());
      NodeNames_ += head->ObjectName;
      NodeNames_ += instanceName;
      DropChunkData(header);
    });
    if (!decoded) return false;
    if (entry.Id == -1) unnumbered = true;
  }
  if (unnumbered)
    for (size_t i = 0; i < NodeIndex_.size(); ++i) NodeIndex_[i].Id = static_cast<int16_t>(i);
  return true;
}

// Parents are looked up by id in a table of all 65536 ids (the first entry with an id wins), so
// the pass stays linear in the number of nodes.
void TFile3DS::AttachParentNames() {
  ChunkNode* section = FindChunkDeep(Database_.Top, kChunkKeyFramer);
  if (!section) return;
  constexpr uint32_t kNone = 0xFFFFFFFF;
  std::vector<uint32_t> byId(0x10000, kNone);
  auto slot = [&](int16_t id) -> uint32_t& { return byId[static_cast<uint16_t>(id)]; };
  for (size_t i = 0; i < NodeIndex_.size(); ++i)
    if (slot(NodeIndex_[i].Id) == kNone) slot(NodeIndex_[i].Id) = static_cast<uint32_t>(i);

  static const uint16_t kKinds[] = {kChunkTargetNode, kChunkObjectNode, kChunkCameraNode,
                                    kChunkLightNode, kChunkLightTargetNode, kChunkSpotlightNode};
  for (uint16_t kind : kKinds) {
    for (ChunkNode* node = FindChunkDeep(section, kind); node;
         node = FindChunkAmongSiblings(node->Next, kind)) {
      ChunkNode* header = FindChunkDeep(node, kChunkNodeHeader);
      ChunkNode* idChunk = FindChunkDeep(node, kChunkNodeId);
      if (!header || !idChunk) continue;
      if (!KeyFramerStep(*node, [&] { LoadChunkData(idChunk); })) return;
      const TShortData* id = idChunk->DataAs<TShortData>();
      if (!id) continue;
      const uint32_t self = slot(id->Value);
      if (self == kNone || NodeIndex_[self].ParentId == -1) continue;
      const uint32_t parentSlot = slot(NodeIndex_[self].ParentId);
      if (parentSlot == kNone) continue;
      TNodeList& parent = NodeIndex_[parentSlot];
      if (parent.NameLength == 0 || FindChunkDeep(header, kChunkParentName)) continue;
      if (parent.ParentName == 0) {
        std::string name = NodeName(parent);
        if (parent.InstanceNameLength > 0) name += "." + NodeInstanceName(parent);
        ParentNames_.push_back(std::make_shared<const std::string>(std::move(name)));
        parent.ParentName = static_cast<uint32_t>(ParentNames_.size());
      }

      ChunkNode* nameChunk = NewChunkNode();
      nameChunk->Id = kChunkParentName;
      auto data = std::make_unique<TParentNameData>();
      data->Value = ParentNames_[parent.ParentName - 1];
      nameChunk->Data = std::move(data);
      ChunkNode* last = header->Children;
      while (last && last->Next) last = last->Next;
      AppendChildChunk(*header, nameChunk, last);
    }
  }
}
