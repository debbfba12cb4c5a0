// Closed triangle meshes built from code for the model files: the voxel cube, UV spheres and
// ellipsoids, tori and the duck. All are Z up and wound counter-clockwise seen from outside.
// Seams and poles repeat vertices (each with its own texture coordinate) at exactly the same
// position, so the surfaces are closed when vertices are compared by position.
#pragma once
#include "common/Models3DS.h"

#include <cstdint>
#include <string>

// The voxel cube: 24 vertices (4 per side), 12 triangles, -0.5..0.5 on every axis, 0/1 texture
// coordinates on each side.
TModelMesh BoxPixelCube(const std::string& name);
// A UV sphere of the given radius centred at the origin: `slices` around Z, `stacks` from the
// north pole to the south pole (at least 3 and 2), one triangle per cell at the poles.
TModelMesh UvSphere(const std::string& name, float radius, int32_t slices, int32_t stacks);
// The same sphere stretched to semi-axes (ax, ay, az) and moved to (cx, cy, cz).
TModelMesh Ellipsoid(const std::string& name, const std::array<float, 3>& centre,
                     const std::array<float, 3>& semiAxes, int32_t slices, int32_t stacks);
// A torus around the Z axis: ring radius `major`, tube radius `minor`.
TModelMesh Torus(const std::string& name, float major, float minor, int32_t segments,
                 int32_t sides);
// A stylised duck (body, head, beak, tail) in one mesh, about 5000 units long, looking along +X,
// standing on +Z, centred on its bounding box.
TModelMesh DuckMesh(const std::string& name);
// Appends the vertices, texture coordinates and faces of `part` to `target` (indices shifted).
void AppendMesh(TModelMesh& target, const TModelMesh& part);
// Moves every vertex by (dx, dy, dz).
void MoveMesh(TModelMesh& mesh, float dx, float dy, float dz);
