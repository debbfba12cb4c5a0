#include "effects/MarchingCubesTables.h"

namespace {

// The six faces as corner cycles, counter-clockwise seen from outside the cube in grid-index
// space, so that each edge is walked one way by one face and the other way by the other.
constexpr int kFaceCycles[6][4] = {{3, 7, 4, 0}, {1, 5, 6, 2}, {1, 2, 3, 0},
                                   {4, 7, 6, 5}, {4, 5, 1, 0}, {3, 2, 6, 7}};

constexpr int EdgeJoining(int a, int b) {
  for (int e = 0; e < kCubeEdgeCount; ++e) {
    const int p = kCubeEdgeCorners[e][0], q = kCubeEdgeCorners[e][1];
    if ((p == a && q == b) || (p == b && q == a)) return e;
  }
  return -1;
}

constexpr TMarchingCubesTables BuildTables() {
  TMarchingCubesTables tables{};
  // Bit f of an edge's mask: the edge lies on face f.
  unsigned faceMask[kCubeEdgeCount] = {};
  for (int f = 0; f < 6; ++f)
    for (int j = 0; j < 4; ++j)
      faceMask[EdgeJoining(kFaceCycles[f][j], kFaceCycles[f][(j + 1) % 4])] |= 1u << f;
  for (int cubeIndex = 0; cubeIndex < kCubeCaseCount; ++cubeIndex) {
    bool below[kCubeCornerCount] = {};
    for (int k = 0; k < kCubeCornerCount; ++k) below[k] = ((cubeIndex >> k) & 1) != 0;

    uint16_t mask = 0;
    for (int e = 0; e < kCubeEdgeCount; ++e)
      if (below[kCubeEdgeCorners[e][0]] != below[kCubeEdgeCorners[e][1]])
        mask = static_cast<uint16_t>(mask | (1u << e));
    tables.EdgeTable[cubeIndex] = mask;

    // Walking each face's cycle, the boundary leaves the below region at an "exit" edge and
    // comes back at an "enter" edge. The cut on the face runs from each exit to the enter
    // just before it, which wraps each below corner of an ambiguous face on its own.
    int next[kCubeEdgeCount] = {};
    for (int e = 0; e < kCubeEdgeCount; ++e) next[e] = -1;
    for (const auto& face : kFaceCycles) {
      int edgeAt[4] = {};
      int exits[2] = {-1, -1}, enters[2] = {-1, -1};
      int exitCount = 0, enterCount = 0;
      for (int j = 0; j < 4; ++j) {
        const int a = face[j], b = face[(j + 1) % 4];
        edgeAt[j] = EdgeJoining(a, b);
        if (below[a] && !below[b]) exits[exitCount++] = j;
        if (!below[a] && below[b]) enters[enterCount++] = j;
      }
      if (exitCount == 1) {
        next[edgeAt[exits[0]]] = edgeAt[enters[0]];
      } else if (exitCount == 2) {
        for (int i = 0; i < 2; ++i) next[edgeAt[exits[i]]] = edgeAt[(exits[i] + 3) % 4];
      }
    }

    // Each closed loop of cut edges becomes a fan; the loop runs clockwise seen from the
    // below side, so the fan takes its vertices in reverse to wind counter-clockwise. The fan's
    // apex is the first loop vertex none of whose diagonals joins two edges of one face: such
    // a diagonal could also be drawn by the neighbouring cube, and four triangles would then
    // meet at one side.
    int8_t* row = tables.TriangleTable[cubeIndex];
    int used = 0;
    bool visited[kCubeEdgeCount] = {};
    for (int start = 0; start < kCubeEdgeCount; ++start) {
      if (next[start] < 0 || visited[start]) continue;
      int loop[kCubeEdgeCount] = {};
      int length = 0;
      for (int e = start; !visited[e]; e = next[e]) {
        visited[e] = true;
        loop[length++] = e;
      }
      int apex = 0;
      for (int candidate = 0; candidate < length; ++candidate) {
        bool clear = true;
        for (int k = 2; k + 1 < length; ++k)
          if (faceMask[loop[candidate]] & faceMask[loop[(candidate + k) % length]]) clear = false;
        if (clear) {
          apex = candidate;
          break;
        }
      }
      for (int i = 1; i + 1 < length; ++i) {
        row[used++] = static_cast<int8_t>(loop[apex]);
        row[used++] = static_cast<int8_t>(loop[(apex + i + 1) % length]);
        row[used++] = static_cast<int8_t>(loop[(apex + i) % length]);
      }
    }
    for (int i = used; i < kTriangleRowLength; ++i) row[i] = -1;
  }
  return tables;
}

constexpr TMarchingCubesTables kTables = BuildTables();

// Spot checks of the derivation, so a broken build fails at compile time.
static_assert(kTables.EdgeTable[0] == 0x000 && kTables.EdgeTable[1] == 0x109 &&
                  kTables.EdgeTable[2] == 0x203 && kTables.EdgeTable[3] == 0x30A &&
                  kTables.EdgeTable[255] == 0x000,
              "edge table");
static_assert(kTables.TriangleTable[1][0] == 0 && kTables.TriangleTable[1][1] == 8 &&
                  kTables.TriangleTable[1][2] == 3 && kTables.TriangleTable[1][3] == -1,
              "triangle table");

}  // namespace

const TMarchingCubesTables& MarchingCubesTables() { return kTables; }
