// Metaball natives: an integer scalar field on a 3-D grid in VM memory,
// filled with balls and discs (floating point, or fixed point through a
// precomputed falloff table), sampled at points, and turned into a triangle
// list with normals by marching cubes. Scenes copy the triangles into a
// vertex buffer of format 2 (normal, position).
//
// Records, all word fields in VM memory:
//   MetaBallVolume  size x, size y, size z, grid address (size x*y*z int32)
//   MetaBallLookup  radius n, falloff table address (0 when none)
//   N3V3            normal xyz, position xyz (floats)
// A grid value below 0 is inside the surface. Every record and area a native
// touches is range-tested first; one that leaves VM memory sets the error
// flag ("vcheck failed") and the native changes nothing.
#pragma once

#include <cstdint>

#include "vm/vm.h"

// Handlers for the native table (natives.cpp), each named after its native.
void vmnMbClear(VMState* s);
void vmnMbTriangleCount(VMState* s);
void vmnMbTriangulateN3V3(VMState* s);
void vmnMbValue(VMState* s);
void vmnMbBall(VMState* s);
void vmnMbLookupBall(VMState* s);
void vmnMbDisc(VMState* s);
void vmnMbLookupCreate(VMState* s);
void vmnMbLookupDestroy(VMState* s);

// The marching-cubes tables. Corner c of a cell is (x + (c ^ c >> 1) & 1,
// y + (c >> 1 & 1), z + (c >> 2)) — 0 (0,0,0), 1 (1,0,0), 2 (1,1,0), 3
// (0,1,0), then the same four one layer up; edges 0-3 and 4-7 go round the
// bottom and top faces, 8-11 join them. Bit c of a case is set when corner c
// is inside. kMbEdgeTable[case] has bit e set for each edge the surface
// crosses; kMbTriangleTable[case] lists triangles as edge triples, ended by -1.
extern const uint8_t kMbEdgeCorners[12][2];
extern const uint16_t kMbEdgeTable[256];
extern const int8_t kMbTriangleTable[256][16];

// Words of the falloff table for radius n: (n + 1)^2 * 3072.
int64_t mbLookupWords(int32_t radius);
// Entry i of the falloff table for radius n (1.0 = 98304).
int32_t mbFalloff(int32_t radius, int64_t index);
