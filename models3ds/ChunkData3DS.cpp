// Decoding of chunk payloads into their typed blocks (TFile3DS::LoadChunkData).
#include "models3ds/Const3DS.h"
#include "models3ds/File3DS.h"

#include <algorithm>
#include <new>

namespace {

bool InRange(uint16_t id, uint16_t first, uint16_t last) { return id >= first && id <= last; }

// Ids whose payload decodes to no block at all.
bool HasNoData(uint16_t id) {
  switch (id) {
    case 0x1200: case 0x2100: case 0x3000: case 0x3D3D: case 0x3DAA: case 0x4100: case 0x4D4D:
    case 0x8000: case 0x8009: case 0x80F0: case 0xA010: case 0xA020: case 0xA030: case 0xA050:
    case 0xA052: case 0xA053: case 0xA084: case 0xA200: case 0xA204: case 0xA210: case 0xA220:
    case 0xA230: case 0xA33A: case 0xA340: case 0xA342: case 0xA344: case 0xA346: case 0xA348:
    case 0xA34A: case 0xA34C: case 0xC23D:
      return true;
    default:
      return InRange(id, 0xA040, 0xA042) || InRange(id, 0xA33C, 0xA33E) || InRange(id, 0xAFFF, 0xB007);
  }
}

// Ids whose payload is kept raw with its size.
bool IsSizedRaw(uint16_t id) {
  switch (id) {
    case 0x4182: case 0x8001: case 0xA320: case 0xA321: case 0xA322: case 0xA324: case 0xA325:
    case 0xA326: case 0xA328: case 0xA32A: case 0xA32C: case 0xA32E: case 0xA330: case 0xA332:
    case 0xA334: case 0xA336: case 0xA338:
      return true;
    default:
      return false;
  }
}

// Fails with the stream's read error unless count items of itemSize bytes are left in the chunk,
// so no array is allocated that the file cannot fill.
void RequireBytes(T3DSStream& s, uint64_t count, uint64_t itemSize) {
  if (count * itemSize > s.Remaining()) TFile3DS::Raise3DSError("Stream read error");
}

template <class Block, class Read>
std::unique_ptr<TChunkData> Make(Read read) {
  auto block = std::make_unique<Block>();
  read(*block);
  return block;
}

std::vector<float> ReadFloats(T3DSStream& s, size_t n) {
  RequireBytes(s, n, 4);
  std::vector<float> v(n);
  for (float& f : v) f = s.ReadF32();
  return v;
}

std::vector<uint16_t> ReadWords(T3DSStream& s, size_t n) {
  RequireBytes(s, n, 2);
  std::vector<uint16_t> v(n);
  for (uint16_t& w : v) w = s.ReadU16();
  return v;
}

std::vector<uint8_t> ReadRaw(T3DSStream& s, uint64_t n) {
  RequireBytes(s, n, 1);
  std::vector<uint8_t> v(static_cast<size_t>(n));
  s.ReadBytes(v.data(), v.size());
  return v;
}

std::vector<int16_t> ReadShorts(T3DSStream& s, size_t n) {
  RequireBytes(s, n, 2);
  std::vector<int16_t> v(n);
  for (int16_t& w : v) w = s.ReadI16();
  return v;
}

TKeyHead3DS ReadKeyHead(T3DSStream& s) {
  TKeyHead3DS key;
  key.Frame = s.ReadU32();
  key.SplineFlags = s.ReadU16();
  float* values[] = {&key.Tension, &key.Continuity, &key.Bias, &key.EaseTo, &key.EaseFrom};
  for (int bit = 0; bit < 5; ++bit)
    if (key.SplineFlags & (1u << bit)) *values[bit] = s.ReadF32();
  return key;
}

// Smallest value a key of the track carries, for checking the key count against the chunk.
uint64_t MinValueSize(uint16_t track) {
  switch (track) {
    case kChunkPositionTrack: case kChunkScaleTrack: case kChunkColorTrack: return 12;
    case kChunkRotationTrack: return 16;
    case kChunkMorphTrack: return 1;
    case kChunkHideTrack: return 0;
    default: return 4;
  }
}

std::unique_ptr<TChunkData> ReadTrack(T3DSStream& s, uint16_t id) {
  auto track = std::make_unique<TTrackData>();
  track->Head.Flags = s.ReadU16();
  track->Head.Reserved1 = s.ReadU32();
  track->Head.Reserved2 = s.ReadU32();
  track->Head.KeyCount = s.ReadU32();
  const uint32_t n = track->Head.KeyCount;
  RequireBytes(s, n, 6 + MinValueSize(id));  // a key head is at least 6 bytes
  track->Keys.reserve(n);
  switch (id) {
    case kChunkPositionTrack: case kChunkScaleTrack: case kChunkColorTrack: track->Vectors.reserve(n); break;
    case kChunkRotationTrack: track->Rotations.reserve(n); break;
    case kChunkMorphTrack: track->Names.reserve(n); break;
    case kChunkHideTrack: break;
    default: track->Floats.reserve(n); break;
  }
  for (uint32_t k = 0; k < n; ++k) {
    track->Keys.push_back(ReadKeyHead(s));
    switch (id) {
      case kChunkPositionTrack: case kChunkScaleTrack: case kChunkColorTrack:
        track->Vectors.push_back(s.ReadVector3());
        break;
      case kChunkRotationTrack: {
        TRotationKey3DS r;
        r.Angle = s.ReadF32();
        r.X = s.ReadF32();
        r.Y = s.ReadF32();
        r.Z = s.ReadF32();
        track->Rotations.push_back(r);
        break;
      }
      case kChunkMorphTrack: track->Names.push_back(s.ReadZeroTerminated()); break;
      case kChunkHideTrack: break;
      default: track->Floats.push_back(s.ReadF32()); break;
    }
  }
  return track;
}

std::unique_ptr<TChunkData> Decode(T3DSStream& s, const ChunkNode& node) {
  const uint16_t id = node.Id;
  if (HasNoData(id)) return nullptr;
  if (IsSizedRaw(id))
    return Make<TRawSizedData>([&](TRawSizedData& b) {
      b.Size = s.Remaining();
      if (uint64_t{node.Length} < 6 || uint64_t{node.Position} + node.Length > s.Size())
        TFile3DS::Raise3DSError("Stream read error");
      b.Bytes = ReadRaw(s, b.Size);
    });
  if (InRange(id, kChunkPositionTrack, kChunkHideTrack)) return ReadTrack(s, id);

  switch (id) {
    case 0x0002: case 0x1440: case 0x3D3E: case 0xB009:
      return Make<TIntData>([&](TIntData& b) { b.Value = s.ReadI32(); });
    case 0xB008:
      return Make<TIntPairData>([&](TIntPairData& b) { b.First = s.ReadI32(); b.Second = s.ReadI32(); });
    case 0x0031: case 0x0100: case 0x1300: case 0x1400: case 0x1410: case 0x1450: case 0x1460:
    case 0x4656: case 0x4657: case 0x4658: case 0x4659: case 0x465A: case 0x465B: case 0xA087:
    case 0xA353: case 0xA354: case 0xA356: case 0xA358: case 0xA35A: case 0xA35C: case 0xB015:
      return Make<TFloatData>([&](TFloatData& b) { b.Value = s.ReadF32(); });
    case 0x0030: case 0x1420: case 0x1430: case 0xA100: case 0xA252: case 0xB030:
      return Make<TShortData>([&](TShortData& b) { b.Value = s.ReadI16(); });
    case 0xA351:
      return Make<TWordData>([&](TWordData& b) { b.Value = s.ReadU16(); });
    case 0x0011: case 0x0012: case 0xA360: case 0xA362: case 0xA364: case 0xA366: case 0xA368:
      return Make<TColor24Data>([&](TColor24Data& b) {
        b.Red = s.ReadU8();
        b.Green = s.ReadU8();
        b.Blue = s.ReadU8();
      });
    case 0x0010: case 0x0013:
      return Make<TColorFloatData>([&](TColorFloatData& b) {
        b.Red = s.ReadF32();
        b.Green = s.ReadF32();
        b.Blue = s.ReadF32();
      });
    case 0x1500: case 0x4600: case 0xB013:
      return Make<TPointData>([&](TPointData& b) { b.Point = s.ReadVector3(); });
    case 0xB014:
      return Make<TPointPairData>([&](TPointPairData& b) {
        b.First = s.ReadVector3();
        b.Second = s.ReadVector3();
      });
    case 0x1100: case 0x3080: case 0x4000: case 0x4181: case 0x4653: case 0x4654: case 0x8002:
    case 0x8003: case 0xA000: case 0xA300: case 0xB011:
      return Make<TStringData>([&](TStringData& b) { b.Value = s.ReadZeroTerminated(); });
    case 0x4190:
      return Make<TBoxMapData>([&](TBoxMapData& b) {
        for (std::string& name : b.Names) name = s.ReadZeroTerminated();
      });
    case 0x2200: case 0x2300:
      return Make<TFloatsData>([&](TFloatsData& b) { b.Values = ReadFloats(s, 4); });
    case 0x2302:
      return Make<TLayerFogData>([&](TLayerFogData& b) {
        b.ZMin = s.ReadF32();
        b.ZMax = s.ReadF32();
        b.Density = s.ReadF32();
        b.Flags = s.ReadU32();
      });
    case 0x3010: case 0x3020: case 0x3030: case 0x3040: case 0x3050: case 0x3060:
    case 0x3070:
      return Make<TPointFloatsData>([&](TPointFloatsData& b) {
        b.Floats = ReadFloats(s, id == 0x3070 ? 4 : 1);
        b.Point = s.ReadVector3();
      });
    case kChunkVertexList:
      return Make<TVertexListData>([&](TVertexListData& b) {
        b.Count = s.ReadU16();
        RequireBytes(s, b.Count, 12);
        b.Vertices.resize(b.Count);
        for (TPoint3DS& p : b.Vertices) p = s.ReadVector3();
      });
    case kChunkVertexFlags:
      return Make<TVertexFlagsData>([&](TVertexFlagsData& b) {
        b.Count = s.ReadU16();
        b.Flags = ReadWords(s, b.Count);
      });
    case kChunkFaceList:
      return Make<TFaceListData>([&](TFaceListData& b) {
        b.Count = s.ReadU16();
        RequireBytes(s, b.Count, 8);
        b.Faces.resize(b.Count);
        for (TMeshFace3DS& f : b.Faces) {
          f.A = s.ReadU16();
          f.B = s.ReadU16();
          f.C = s.ReadU16();
          f.Flags = s.ReadU16();
        }
      });
    case kChunkFaceMaterial:
      return Make<TFaceMaterialData>([&](TFaceMaterialData& b) {
        b.MaterialName = s.ReadZeroTerminated();
        b.Count = s.ReadU16();
        b.FaceIndices = ReadWords(s, b.Count);
      });
    case kChunkTexCoords:
      return Make<TTexCoordListData>([&](TTexCoordListData& b) {
        b.Count = s.ReadU16();
        RequireBytes(s, b.Count, 8);
        b.TexCoords.resize(b.Count);
        for (TTexVert3DS& t : b.TexCoords) {
          t.U = s.ReadF32();
          t.V = s.ReadF32();
        }
      });
    case kChunkSmoothing:
      // One mask per face, and faces are counted in 16 bits: masks past 65535 are not kept, so
      // the count always matches the array.
      return Make<TSmoothingData>([&](TSmoothingData& b) {
        b.Count = static_cast<uint16_t>(std::min<uint32_t>(s.Remaining() / 4, 0xFFFF));
        b.Masks.resize(b.Count);
        for (uint32_t& m : b.Masks) m = s.ReadU32();
      });
    case kChunkLocalAxes:
      return Make<TFloatsData>([&](TFloatsData& b) { b.Values = ReadFloats(s, 12); });
    case kChunkMeshColor:
      return Make<TByteData>([&](TByteData& b) { b.Value = s.ReadU8(); });
    case kChunkMapping:
      return Make<TMappingData>([&](TMappingData& b) {
        TMapInfo3DS& m = b.Mapping;
        m.MapType = s.ReadU16();
        m.TileX = s.ReadF32();
        m.TileY = s.ReadF32();
        m.IconPosition = s.ReadVector3();
        m.IconScale = s.ReadF32();
        for (float& f : m.MapMatrix) f = s.ReadF32();
        m.PlanarWidth = s.ReadF32();
        m.PlanarHeight = s.ReadF32();
        m.CylinderHeight = s.ReadF32();
      });
    case kChunkSpotlight:
      return Make<TPointFloatsData>([&](TPointFloatsData& b) {
        b.Point = s.ReadVector3();
        b.Floats = ReadFloats(s, 2);
      });
    case 0x4641:
      return Make<TLightRangeData>([&](TLightRangeData& b) {
        b.First = s.ReadF32();
        b.Second = s.ReadF32();
        b.Value = s.ReadI16();
      });
    case kChunkCamera:
      return Make<TCameraData>([&](TCameraData& b) {
        b.Position = s.ReadVector3();
        b.Target = s.ReadVector3();
        b.Bank = s.ReadF32();
        b.FocalLength = s.ReadF32();
      });
    case 0x4720:
      return Make<TFloatsData>([&](TFloatsData& b) { b.Values = ReadFloats(s, 2); });
    case 0x7001:
      return Make<TShortsData>([&](TShortsData& b) { b.Values = ReadShorts(s, 7); });
    case 0x7011: case 0x7012:
      return Make<TViewData>([&](TViewData& b) {
        b.Shorts = ReadShorts(s, 7);
        b.Zoom = s.ReadF32();
        b.Center = s.ReadVector3();
        b.HorizontalAngle = s.ReadF32();
        b.VerticalAngle = s.ReadF32();
        b.CameraName = s.ReadZeroTerminated();
      });
    case 0x7020:
      return Make<TWordsData>([&](TWordsData& b) { b.Values = ReadWords(s, 4); });
    case 0xA310:
      return Make<TMapParamsData>([&](TMapParamsData& b) {
        b.First = s.ReadU8();
        b.Second = s.ReadU8();
        b.Value = s.ReadI16();
        b.Third = s.ReadU32();
        b.Fourth = s.ReadU32();
      });
    case kChunkKeyFramerHeader:
      return Make<TKeyFramerHeaderData>([&](TKeyFramerHeaderData& b) {
        b.Revision = s.ReadI16();
        b.FileName = s.ReadZeroTerminated();
        b.Length = s.ReadI32();
      });
    case kChunkNodeHeader:
      return Make<TNodeHeaderData>([&](TNodeHeaderData& b) {
        b.ObjectName = s.ReadZeroTerminated();
        b.Flags1 = s.ReadU16();
        b.Flags2 = s.ReadU16();
        b.ParentId = s.ReadI16();
      });
    default:
      if (node.Length <= 6) return nullptr;
      return Make<TRawData>([&](TRawData& b) { b.Bytes = ReadRaw(s, uint64_t{node.Length} - 6); });
  }
}

}  // namespace

void TFile3DS::LoadChunkData(ChunkNode* node) {
  if (!node || node->Data) return;
  Stream_.SetLimit(uint64_t{node->Position} + node->Length);
  Stream_.Seek(uint64_t{node->Position} + 6 <= Stream_.Size() ? node->Position + 6 : Stream_.Size());
  try {
    node->Data = Decode(Stream_, *node);
  } catch (const std::bad_alloc&) {
    Raise3DSError("Not enough memory to complete operation.");
  }
}
