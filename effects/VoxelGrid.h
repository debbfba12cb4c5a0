// The 3D pixel framebuffer: a 50 x 50 x 50 grid of on/off cells, indexed [x][y][z], and the
// procedures that clear it and scan-convert lines and triangles into it.
//
// Contract: a sample lands in the cell of its coordinates rounded to the nearest integer, ties
// to even. Samples outside the grid, and samples with a NaN or infinite coordinate, are skipped:
// nothing is ever written outside the grid. VoxelizeTriangle first rotates each corner by
// VoxelAngles (degrees, about x, then y, then z) and then adds VoxelOffset. DrawGrid needs a
// current GL context and leaves blending on with the alpha blend function.
#pragma once
#include "engine/Vectors.h"

#include <cstdint>
#include <memory>
#include <vector>

class TMeshDataN;
class TMeshDataNM;
struct TFace;

constexpr int32_t kVoxelGridSize = 50;

struct T3DFramebuffer {
  // 0 = cell off, 1 = cell on.
  uint8_t Cells[kVoxelGridSize][kVoxelGridSize][kVoxelGridSize] = {};
};

// Rotation (degrees) and offset applied to each triangle corner by VoxelizeTriangle.
extern TVec3 VoxelAngles;
extern TVec3 VoxelOffset;

// Every cell := 0.
void ClearGrid(T3DFramebuffer& grid);
// steps + 1 samples from p to q (k = 0 .. steps, at p + k (q - p) / steps); each sets its
// cell. A steps of 0 samples p alone; a negative one samples nothing.
void VoxelizeLine(T3DFramebuffer& grid, const TVec3& p, const TVec3& q, int32_t steps);
// Sweeps the transformed triangle with 2u lines of u + 1 samples, u = N(1 / step): lines from
// edge AB to the first half of AC, then from edge BC to the second half. Nothing is set when u
// is 0 or less or the step is 0 or not a number. u is limited to 1024 (2 million samples), so a
// tiny step cannot stall the frame for minutes.
void VoxelizeTriangle(T3DFramebuffer& grid, const TVec3& a, const TVec3& b, const TVec3& c,
                      float step);
// The cells VoxelizeTriangle sets for every face of a mesh (corner indices into vertices, which
// the caller has checked). A cell is on whichever sample sets it first, so the faces may be
// swept in any order: a mesh of many faces is split over two threads, the second half going
// into `scratch` (any contents) and merged into the grid afterwards. VoxelAngles and VoxelOffset
// are read once, before the threads start. The grid's cells that were on stay on.
void VoxelizeFaces(T3DFramebuffer& grid, const std::vector<TVec3>& vertices, const TFace* faces,
                   int32_t faceCount, float step, T3DFramebuffer& scratch);
// Alpha blending on, ambient material black, then the first mesh drawn once per cell that is
// on, translated to (x, y, z); z innermost. An empty mesh list draws nothing.
void DrawGrid(const T3DFramebuffer& grid, const std::vector<std::unique_ptr<TMeshDataNM>>& meshes);
// The cube DrawGridBatched draws, what is known of it, and the arrays it fills, kept from frame
// to frame so that a frame allocates nothing once they have grown to the largest grid seen.
struct TGridBatch {
  std::vector<TVec3> Vertices;
  std::vector<TVec3> Normals;
  std::vector<TTexCoord2> TexCoords;
  std::vector<uint32_t> Indices;
  // The side of the cell (0..5: -x, +x, -y, +y, -z, +z) each face of the cube lies on, when the
  // cube is a closed box of exactly one cell with its faces' fronts outside; empty otherwise.
  std::vector<int8_t> FaceSides;
  const TMeshDataN* Cube = nullptr;
};
// Makes the batch draw this cube (which must outlive it and not change) and works out, once,
// whether it is a closed, outward box of one cell.
void PrepareGridBatch(TGridBatch& batch, const TMeshDataN& cube);
// The picture of DrawGrid with the batch's cube, in one glDrawElements: the cube's vertices are
// copied to every cell that is on, moved to the cell, in DrawGrid's cell and face order. When
// the cube is a closed outward box and the GL state makes the nearest opaque face win (depth
// test on, nothing translucent, the grid wholly in front of the eye), a face against a
// neighbouring cell that is on is left out: it lies behind nearer faces of the two boxes. In any
// other state every face is drawn, so the picture is DrawGrid's there too. Nothing is drawn
// before PrepareGridBatch. Leaves the client arrays off.
void DrawGridBatched(const T3DFramebuffer& grid, TGridBatch& batch);
// The number of cells that are on.
int32_t CountSetCells(const T3DFramebuffer& grid);
