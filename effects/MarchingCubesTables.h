// The marching-cubes tables of the scalar field: for each of the 256 ways the eight corners of a
// cube can lie below or at/above the surface level, which of the twelve edges the surface cuts
// (edge table) and the triangles, as triples of edge numbers, that close it (triangle table).
//
// Contract: corner k of a cube is bit k of the cube index, set when the corner is below the
// level. Corners 0..7 sit at (x,y,z) offsets (0,0,0) (1,0,0) (1,0,1) (0,0,1) (0,1,0) (1,1,0)
// (1,1,1) (0,1,1); edges 0..11 join the corner pairs in kCubeEdgeCorners. The edge table is
// derived at compile time: an edge's bit is set exactly when one of its corners is below. The
// triangle rows are the standard published ones wherever the cube has no ambiguous face (two
// diagonally opposite corners below, the other two not). For the rows with one, the triangles
// are derived: they trace the cut on each face, always cutting the two below corners of an
// ambiguous face off separately, and fan out each closed loop; so neighbouring cubes agree on
// every shared face and the surface has no cracks. Triangles wind counter-clockwise seen from
// the below side.
#pragma once
#include <cstdint>

constexpr int kCubeCornerCount = 8;
constexpr int kCubeEdgeCount = 12;
constexpr int kCubeCaseCount = 256;
// Up to five triangles of three edges, then -1.
constexpr int kTriangleRowLength = 16;

// The two corners each edge joins.
constexpr int kCubeEdgeCorners[kCubeEdgeCount][2] = {
    {0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

// Offsets of the corners from the cube's first grid point, per axis.
constexpr int kCubeCornerOffsets[kCubeCornerCount][3] = {
    {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}, {0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}};

struct TMarchingCubesTables {
  uint16_t EdgeTable[kCubeCaseCount];                        // 12-bit masks of cut edges
  int8_t TriangleTable[kCubeCaseCount][kTriangleRowLength];  // edge triples, ended by -1
};

// The tables for the numbering above.
const TMarchingCubesTables& MarchingCubesTables();
