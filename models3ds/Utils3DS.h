// The containers a TFile3DS fills from its chunk tree: TObjectList extracts mesh objects on
// request and caches one record per mesh number; TMaterialList and TKeyFramer, and the light
// and camera lists of TObjectList, exist with every file but stay empty in this system.
//
// Contract: records are owned by their list and live until the list is cleared or the file
// destroyed; a consumer that keeps mesh data longer copies it. Failures are E3DSError, and an
// index outside the list is "List index out of bounds (N)".
#pragma once
#include "models3ds/Types3DS.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TFile3DS;

// Most named objects one file may hold; a file with more is refused (mesh counts are 16-bit).
constexpr int32_t kMaxNamedObjects = 65535;

// Sets every field of the record to zero, empty or false, then the neutral mapping values:
// TileX, TileY, IconScale, PlanarWidth, PlanarHeight, CylinderHeight and MapMatrix[0], [4] are 1.
void ResetMeshRecord(TMesh3DS& mesh);
// Frees the record's arrays and strings (the record is then all zero).
void DisposeMeshRecord(TMesh3DS& mesh);

class TObjectList {
 public:
  explicit TObjectList(TFile3DS& sourceFile) : SourceFile(sourceFile) {}
  virtual ~TObjectList() { ClearLists(); }
  // Number of mesh objects of the file; fixed after the first call that finds any.
  int32_t MeshTotal();
  // The mesh record number index, extracted on the first request (null when there are none).
  TMesh3DS* MeshAt(int32_t index);
  // Disposes every record of the four lists and empties them.
  void ClearLists();

  TFile3DS& SourceFile;
  std::vector<std::unique_ptr<TMesh3DS>> MeshRecords;  // a null slot is not extracted yet
  std::vector<std::unique_ptr<TLight3DS>> OmniLightRecords, SpotLightRecords;
  std::vector<std::unique_ptr<TCamera3DS>> CameraRecords;
};

class TMaterialList {
 public:
  // The material record type of this system: a name only.
  struct TMaterial3DS {
    std::string Name;
  };
  explicit TMaterialList(TFile3DS& sourceFile) : SourceFile(sourceFile) {}
  virtual ~TMaterialList() = default;

  TFile3DS& SourceFile;
  std::vector<std::unique_ptr<TMaterial3DS>> MaterialRecords;
};

class TKeyFramer {
 public:
  explicit TKeyFramer(TFile3DS& sourceFile) : SourceFile(sourceFile) {}
  virtual ~TKeyFramer() { ClearLists(); }
  // Disposes every motion record and the ambient motion, and empties the lists.
  void ClearLists();

  TFile3DS& SourceFile;
  std::vector<std::unique_ptr<TKFMesh3DS>> MeshMotions;
  std::vector<std::unique_ptr<TKFOmni3DS>> OmniMotions;
  std::vector<std::unique_ptr<TKFSpot3DS>> SpotMotions;
  std::vector<std::unique_ptr<TKFCamera3DS>> CameraMotions;
  std::unique_ptr<TKFAmbient3DS> AmbientMotion;
};
