// The bridge from the 3DS reader to the engine's meshes: open a model file, count its mesh
// objects, and turn each into a TMeshDataNM (positions, texture coordinates, triangles, name).
//
// Contract: everything is copied, so the meshes outlive the file. Coordinates are taken
// unchanged (Z up, as in the file); normals are sized but left zero for the caller to compute.
// A face that refers to a vertex the mesh does not have is dropped (one line on stderr per mesh
// says how many), so every face index of a made mesh is below its VertexCount. Vertices beyond
// the file's texture coordinates get (0, 0). Reader failures pass through unchanged
// (E3DSError and the file errors); a damaged keyframer section, which the reader leaves out,
// gets one line on stderr.
#pragma once
#include "engine/KGL2Classes.h"
#include "models3ds/File3DS.h"
#include "models3ds/Types3DS.h"

#include <cstdint>
#include <memory>
#include <string>

// Opens one model file at a time and makes engine meshes from it.
class T3DSLoader {
 public:
  T3DSLoader();
  ~T3DSLoader();
  // Opens the file (its name resolved by `files`) and counts its mesh objects (the previous
  // file is freed first).
  void OpenModelFile(const std::string& fileName, const TReadContext& files = TReadContext());
  // Takes an already opened file (for example one read from memory) as if opened by name.
  void UseModelFile(std::unique_ptr<TFile3DS> file, const std::string& fileName);
  // A new engine mesh from mesh object n (0 to LoadedMeshCount - 1) of the open file.
  std::unique_ptr<TMeshDataNM> MakeEngineMesh(int32_t n);
  // One line on stderr when the open file's keyframer section was damaged and left out; called
  // once its meshes are made.
  void ReportKeyFramerDamage() const;

  std::unique_ptr<TFile3DS> ModelFile;  // the open file; reset() frees it and all it read
  int32_t LoadedMeshCount = 0;
  std::string ModelName;  // the name the file was opened with, for messages
};

// The one loader of a model load: exists between CreateModelLoader and FreeModelLoader.
extern std::unique_ptr<T3DSLoader> ModelLoader;

// Sets ModelLoader to a new loader.
void CreateModelLoader();
// Frees ModelLoader and the file it still holds.
void FreeModelLoader();
// ModelLoader->OpenModelFile(fileName, files) (creating the loader if there is none).
void OpenModelFile(const std::string& fileName, const TReadContext& files = TReadContext());
// ModelLoader->MakeEngineMesh(n); an empty mesh when there is no loader.
std::unique_ptr<TMeshDataNM> MakeEngineMesh(int32_t n);

// The engine mesh of one extracted 3DS mesh record; faces that point past the record's
// vertices are dropped and counted in droppedFaces.
std::unique_ptr<TMeshDataNM> EngineMeshFromRecord(const TMesh3DS& record, int32_t& droppedFaces);
