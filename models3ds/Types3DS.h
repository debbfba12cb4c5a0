// Records of the 3DS reader: the points, faces and mesh objects it extracts, the light, camera and
// motion records its (unfilled) containers are typed for, the error it raises, and the typed data
// blocks that chunk payloads decode into.
//
// Contract: these are plain values. Arrays are std::vector; a block's array "taken" by a consumer
// is moved out, leaving the block's vector empty. Counts read from a file are 16-bit as in the
// file format and always equal the size of the array they describe.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct TPoint3DS { float X = 0, Y = 0, Z = 0; };
struct TTexVert3DS { float U = 0, V = 0; };
struct TMeshFace3DS { uint16_t A = 0, B = 0, C = 0, Flags = 0; };
static_assert(sizeof(TPoint3DS) == 12 && sizeof(TTexVert3DS) == 8 && sizeof(TMeshFace3DS) == 8,
              "file records are read as packed arrays");

// Every failure of the reader. Texts are shown to the user as they are.
class E3DSError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One face-material group: the faces (indices into TMesh3DS::Faces) drawn with one material.
struct TObjMat3DS {
  std::string Name;
  uint16_t FaceCount = 0;
  std::vector<uint16_t> FaceIndices;  // empty when FaceCount is 0
};

// Texture mapping of a mesh (chunk 0x4170). All zero as constructed; ResetMeshRecord sets the
// neutral values a mesh without mapping carries.
struct TMapInfo3DS {
  uint16_t MapType = 0;
  float TileX = 0, TileY = 0;
  TPoint3DS IconPosition;
  float IconScale = 0;
  std::array<float, 12> MapMatrix{};
  float PlanarWidth = 0, PlanarHeight = 0, CylinderHeight = 0;
};

// One extracted mesh object. As constructed every field is zero, empty or false.
struct TMesh3DS {
  std::string Name;
  bool Hidden = false, ShownInLofter = false, Matte = false, CastsNoShadow = false,
       FastDisplay = false, ReceivesNoShadow = false, Frozen = false;
  uint16_t VertexCount = 0;
  std::vector<TPoint3DS> Vertices;
  uint16_t VertexFlagCount = 0;
  std::vector<uint16_t> VertexFlags;
  uint16_t TexCoordCount = 0;
  std::vector<TTexVert3DS> TexCoords;  // empty when the file has none
  bool HasMapping = false;
  TMapInfo3DS Mapping;
  std::array<float, 12> LocalMatrix{};
  uint16_t FaceCount = 0;
  std::vector<TMeshFace3DS> Faces;
  std::vector<uint32_t> SmoothingGroups;  // one mask per face when the file has them
  bool HasBoxMap = false;
  std::array<std::string, 6> BoxMapMaterials;
  uint8_t ColorIndex = 0;
  uint16_t MaterialGroupCount = 0;
  std::vector<TObjMat3DS> MaterialGroups;
  bool Procedural = false;
  uint32_t ProcDataSize = 0;
  std::string ProcName;
  std::vector<uint8_t> ProcData;
};

// Light and camera records (the lists of TObjectList hold none in this system).
struct TLight3DS {
  std::string Name;
  TPoint3DS Position;
  bool IsSpot = false;
  TPoint3DS Target;
  float Hotspot = 0, Falloff = 0;
};
struct TCamera3DS {
  std::string Name;
  TPoint3DS Position, Target;
  float Roll = 0, FocalLength = 0;
};

// Keyframe tracks as stored in the file.
struct TTrackHead3DS {
  uint16_t Flags = 0;
  uint32_t Reserved1 = 0, Reserved2 = 0;
  uint32_t KeyCount = 0;
};
struct TKeyHead3DS {
  uint32_t Frame = 0;
  uint16_t SplineFlags = 0;
  float Tension = 0, Continuity = 0, Bias = 0, EaseTo = 0, EaseFrom = 0;
};
struct TRotationKey3DS { float Angle = 0, X = 0, Y = 0, Z = 0; };

// Motion records of TKeyFramer (none are filled in this system).
struct TKFMesh3DS {
  std::string Name, Parent;
  std::vector<TKeyHead3DS> PositionKeys, RotationKeys, ScaleKeys;
  std::vector<TPoint3DS> Positions, Scales;
  std::vector<TRotationKey3DS> Rotations;
};
struct TKFOmni3DS {
  std::string Name, Parent;
  std::vector<TKeyHead3DS> PositionKeys;
  std::vector<TPoint3DS> Positions;
};
struct TKFSpot3DS {
  std::string Name, Parent;
  std::vector<TKeyHead3DS> PositionKeys, TargetKeys;
  std::vector<TPoint3DS> Positions, Targets;
};
struct TKFCamera3DS {
  std::string Name, Parent;
  std::vector<TKeyHead3DS> PositionKeys, TargetKeys;
  std::vector<TPoint3DS> Positions, Targets;
};
struct TKFAmbient3DS {
  std::vector<TKeyHead3DS> ColorKeys;
  std::vector<TPoint3DS> Colors;
};

// ---- Decoded chunk payloads (ChunkNode::Data). Fields are in file order unless noted. ----

struct TChunkData {
  virtual ~TChunkData() = default;
};
struct TIntData : TChunkData { int32_t Value = 0; };              // 0x0002, 0x1440, 0x3D3E, 0xB009
struct TIntPairData : TChunkData { int32_t First = 0, Second = 0; };  // 0xB008
struct TFloatData : TChunkData { float Value = 0; };
struct TShortData : TChunkData { int16_t Value = 0; };            // 0x0030, 0xB030, ...
struct TWordData : TChunkData { uint16_t Value = 0; };            // 0xA351
struct TByteData : TChunkData { uint8_t Value = 0; };             // 0x4165
struct TColor24Data : TChunkData { uint8_t Red = 0, Green = 0, Blue = 0; };
struct TColorFloatData : TChunkData { float Red = 0, Green = 0, Blue = 0; };
struct TPointData : TChunkData { TPoint3DS Point; };
struct TPointPairData : TChunkData { TPoint3DS First, Second; };  // 0xB014
struct TStringData : TChunkData { std::string Value; };
// The parent name the reader attaches to a keyframer node header (0x80F0): one string shared by
// every child of the same parent.
struct TParentNameData : TChunkData { std::shared_ptr<const std::string> Value; };
struct TBoxMapData : TChunkData { std::array<std::string, 6> Names; };  // 0x4190
// Fixed groups of one kind of number: 0x2200, 0x2300 (4 floats), 0x4160 (12), 0x4720 (2),
// 0x7001 (7 shorts), 0x7020 (4 words).
struct TFloatsData : TChunkData { std::vector<float> Values; };
struct TShortsData : TChunkData { std::vector<int16_t> Values; };
struct TWordsData : TChunkData { std::vector<uint16_t> Values; };
struct TLayerFogData : TChunkData { float ZMin = 0, ZMax = 0, Density = 0; uint32_t Flags = 0; };
// A point with floats; stored point first although the file may hold the floats first
// (0x3010-0x3060: 1 float, 0x3070: 4 floats, 0x4610 spotlight: hotspot and falloff).
struct TPointFloatsData : TChunkData { TPoint3DS Point; std::vector<float> Floats; };
struct TLightRangeData : TChunkData { float First = 0, Second = 0; int16_t Value = 0; };  // 0x4641
struct TCameraData : TChunkData { TPoint3DS Position, Target; float Bank = 0, FocalLength = 0; };
struct TViewData : TChunkData {  // 0x7011, 0x7012
  std::vector<int16_t> Shorts;
  float Zoom = 0;
  TPoint3DS Center;
  float HorizontalAngle = 0, VerticalAngle = 0;
  std::string CameraName;
};
struct TMapParamsData : TChunkData {  // 0xA310
  uint8_t First = 0, Second = 0;
  int16_t Value = 0;
  uint32_t Third = 0, Fourth = 0;
};
struct TKeyFramerHeaderData : TChunkData { int16_t Revision = 0; std::string FileName; int32_t Length = 0; };
struct TNodeHeaderData : TChunkData {  // 0xB010
  std::string ObjectName;
  uint16_t Flags1 = 0, Flags2 = 0;
  int16_t ParentId = 0;
};
struct TVertexListData : TChunkData { uint16_t Count = 0; std::vector<TPoint3DS> Vertices; };
struct TVertexFlagsData : TChunkData { uint16_t Count = 0; std::vector<uint16_t> Flags; };
struct TFaceListData : TChunkData { uint16_t Count = 0; std::vector<TMeshFace3DS> Faces; };
struct TFaceMaterialData : TChunkData {
  std::string MaterialName;
  uint16_t Count = 0;
  std::vector<uint16_t> FaceIndices;
};
struct TTexCoordListData : TChunkData { uint16_t Count = 0; std::vector<TTexVert3DS> TexCoords; };
struct TSmoothingData : TChunkData { uint16_t Count = 0; std::vector<uint32_t> Masks; };
struct TMappingData : TChunkData { TMapInfo3DS Mapping; };  // 0x4170
// Raw payload with its size kept (0x4182, 0x8001, the map blocks 0xA320...).
struct TRawSizedData : TChunkData { uint32_t Size = 0; std::vector<uint8_t> Bytes; };
// Raw payload of any id no table knows.
struct TRawData : TChunkData { std::vector<uint8_t> Bytes; };
// A keyframe track (0xB020-0xB029). Values: Vectors for position, scale and colour,
// Rotations for rotation, Floats for field of view, roll, hotspot and falloff, Names for morph;
// the hide track has none.
struct TTrackData : TChunkData {
  TTrackHead3DS Head;
  std::vector<TKeyHead3DS> Keys;
  std::vector<TPoint3DS> Vectors;
  std::vector<TRotationKey3DS> Rotations;
  std::vector<float> Floats;
  std::vector<std::string> Names;
};
