// Metaball natives (metaballs.h). The field is integer so that balls add up
// exactly and the surface extraction stays in integers until a vertex is
// written. Overflow never wraps: every addition into the grid and every
// fixed-point product saturates at the int32 limits, so a strong ball flattens
// the field instead of flipping its sign. A negative border counts as 0, so
// no native writes outside the grid.
#include "vm/metaballs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "vm/native.h"

// clang-format off
const uint8_t kMbEdgeCorners[12][2] = {
    {0, 1}, {1, 2}, {2, 3}, {3, 0},
    {4, 5}, {5, 6}, {6, 7}, {7, 4},
    {0, 4}, {1, 5}, {2, 6}, {3, 7},
};

const uint16_t kMbEdgeTable[256] = {
    0x000, 0x109, 0x203, 0x30a, 0x406, 0x50f, 0x605, 0x70c,
    0x80c, 0x905, 0xa0f, 0xb06, 0xc0a, 0xd03, 0xe09, 0xf00,
    0x190, 0x099, 0x393, 0x29a, 0x596, 0x49f, 0x795, 0x69c,
    0x99c, 0x895, 0xb9f, 0xa96, 0xd9a, 0xc93, 0xf99, 0xe90,
    0x230, 0x339, 0x033, 0x13a, 0x636, 0x73f, 0x435, 0x53c,
    0xa3c, 0xb35, 0x83f, 0x936, 0xe3a, 0xf33, 0xc39, 0xd30,
    0x3a0, 0x2a9, 0x1a3, 0x0aa, 0x7a6, 0x6af, 0x5a5, 0x4ac,
    0xbac, 0xaa5, 0x9af, 0x8a6, 0xfaa, 0xea3, 0xda9, 0xca0,
    0x460, 0x569, 0x663, 0x76a, 0x066, 0x16f, 0x265, 0x36c,
    0xc6c, 0xd65, 0xe6f, 0xf66, 0x86a, 0x963, 0xa69, 0xb60,
    0x5f0, 0x4f9, 0x7f3, 0x6fa, 0x1f6, 0x0ff, 0x3f5, 0x2fc,
    0xdfc, 0xcf5, 0xfff, 0xef6, 0x9fa, 0x8f3, 0xbf9, 0xaf0,
    0x650, 0x759, 0x453, 0x55a, 0x256, 0x35f, 0x055, 0x15c,
    0xe5c, 0xf55, 0xc5f, 0xd56, 0xa5a, 0xb53, 0x859, 0x950,
    0x7c0, 0x6c9, 0x5c3, 0x4ca, 0x3c6, 0x2cf, 0x1c5, 0x0cc,
    0xfcc, 0xec5, 0xdcf, 0xcc6, 0xbca, 0xac3, 0x9c9, 0x8c0,
    0x8c0, 0x9c9, 0xac3, 0xbca, 0xcc6, 0xdcf, 0xec5, 0xfcc,
    0x0cc, 0x1c5, 0x2cf, 0x3c6, 0x4ca, 0x5c3, 0x6c9, 0x7c0,
    0x950, 0x859, 0xb53, 0xa5a, 0xd56, 0xc5f, 0xf55, 0xe5c,
    0x15c, 0x055, 0x35f, 0x256, 0x55a, 0x453, 0x759, 0x650,
    0xaf0, 0xbf9, 0x8f3, 0x9fa, 0xef6, 0xfff, 0xcf5, 0xdfc,
    0x2fc, 0x3f5, 0x0ff, 0x1f6, 0x6fa, 0x7f3, 0x4f9, 0x5f0,
    0xb60, 0xa69, 0x963, 0x86a, 0xf66, 0xe6f, 0xd65, 0xc6c,
    0x36c, 0x265, 0x16f, 0x066, 0x76a, 0x663, 0x569, 0x460,
    0xca0, 0xda9, 0xea3, 0xfaa, 0x8a6, 0x9af, 0xaa5, 0xbac,
    0x4ac, 0x5a5, 0x6af, 0x7a6, 0x0aa, 0x1a3, 0x2a9, 0x3a0,
    0xd30, 0xc39, 0xf33, 0xe3a, 0x936, 0x83f, 0xb35, 0xa3c,
    0x53c, 0x435, 0x73f, 0x636, 0x13a, 0x033, 0x339, 0x230,
    0xe90, 0xf99, 0xc93, 0xd9a, 0xa96, 0xb9f, 0x895, 0x99c,
    0x69c, 0x795, 0x49f, 0x596, 0x29a, 0x393, 0x099, 0x190,
    0xf00, 0xe09, 0xd03, 0xc0a, 0xb06, 0xa0f, 0x905, 0x80c,
    0x70c, 0x605, 0x50f, 0x406, 0x30a, 0x203, 0x109, 0x000,
};

const int8_t kMbTriangleTable[256][16] = {
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 8, 3, 9, 8, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 1, 2, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {9, 2, 10, 0, 2, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 8, 3, 2, 10, 8, 10, 9, 8, -1, -1, -1, -1, -1, -1, -1},
    {3, 11, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 11, 2, 8, 11, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 0, 2, 3, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 11, 2, 1, 9, 11, 9, 8, 11, -1, -1, -1, -1, -1, -1, -1},
    {3, 10, 1, 11, 10, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 10, 1, 0, 8, 10, 8, 11, 10, -1, -1, -1, -1, -1, -1, -1},
    {3, 9, 0, 3, 11, 9, 11, 10, 9, -1, -1, -1, -1, -1, -1, -1},
    {9, 8, 10, 10, 8, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 3, 0, 7, 3, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 8, 4, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 1, 9, 4, 7, 1, 7, 3, 1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 8, 4, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {3, 4, 7, 3, 0, 4, 1, 2, 10, -1, -1, -1, -1, -1, -1, -1},
    {9, 2, 10, 9, 0, 2, 8, 4, 7, -1, -1, -1, -1, -1, -1, -1},
    {2, 10, 9, 2, 9, 7, 2, 7, 3, 7, 9, 4, -1, -1, -1, -1},
    {8, 4, 7, 3, 11, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {11, 4, 7, 11, 2, 4, 2, 0, 4, -1, -1, -1, -1, -1, -1, -1},
    {9, 0, 1, 8, 4, 7, 2, 3, 11, -1, -1, -1, -1, -1, -1, -1},
    {4, 7, 11, 9, 4, 11, 9, 11, 2, 9, 2, 1, -1, -1, -1, -1},
    {3, 10, 1, 3, 11, 10, 7, 8, 4, -1, -1, -1, -1, -1, -1, -1},
    {1, 11, 10, 1, 4, 11, 1, 0, 4, 7, 11, 4, -1, -1, -1, -1},
    {4, 7, 8, 9, 0, 11, 9, 11, 10, 11, 0, 3, -1, -1, -1, -1},
    {4, 7, 11, 4, 11, 9, 9, 11, 10, -1, -1, -1, -1, -1, -1, -1},
    {9, 5, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {9, 5, 4, 0, 8, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 5, 4, 1, 5, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {8, 5, 4, 8, 3, 5, 3, 1, 5, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 9, 5, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {3, 0, 8, 1, 2, 10, 4, 9, 5, -1, -1, -1, -1, -1, -1, -1},
    {5, 2, 10, 5, 4, 2, 4, 0, 2, -1, -1, -1, -1, -1, -1, -1},
    {2, 10, 5, 3, 2, 5, 3, 5, 4, 3, 4, 8, -1, -1, -1, -1},
    {9, 5, 4, 2, 3, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 11, 2, 0, 8, 11, 4, 9, 5, -1, -1, -1, -1, -1, -1, -1},
    {0, 5, 4, 0, 1, 5, 2, 3, 11, -1, -1, -1, -1, -1, -1, -1},
    {2, 1, 5, 2, 5, 8, 2, 8, 11, 4, 8, 5, -1, -1, -1, -1},
    {10, 3, 11, 10, 1, 3, 9, 5, 4, -1, -1, -1, -1, -1, -1, -1},
    {4, 9, 5, 0, 8, 1, 8, 10, 1, 8, 11, 10, -1, -1, -1, -1},
    {5, 4, 0, 5, 0, 11, 5, 11, 10, 11, 0, 3, -1, -1, -1, -1},
    {5, 4, 8, 5, 8, 10, 10, 8, 11, -1, -1, -1, -1, -1, -1, -1},
    {9, 7, 8, 5, 7, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {9, 3, 0, 9, 5, 3, 5, 7, 3, -1, -1, -1, -1, -1, -1, -1},
    {0, 7, 8, 0, 1, 7, 1, 5, 7, -1, -1, -1, -1, -1, -1, -1},
    {1, 5, 3, 3, 5, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {9, 7, 8, 9, 5, 7, 10, 1, 2, -1, -1, -1, -1, -1, -1, -1},
    {10, 1, 2, 9, 5, 0, 5, 3, 0, 5, 7, 3, -1, -1, -1, -1},
    {8, 0, 2, 8, 2, 5, 8, 5, 7, 10, 5, 2, -1, -1, -1, -1},
    {2, 10, 5, 2, 5, 3, 3, 5, 7, -1, -1, -1, -1, -1, -1, -1},
    {7, 9, 5, 7, 8, 9, 3, 11, 2, -1, -1, -1, -1, -1, -1, -1},
    {9, 5, 7, 9, 7, 2, 9, 2, 0, 2, 7, 11, -1, -1, -1, -1},
    {2, 3, 11, 0, 1, 8, 1, 7, 8, 1, 5, 7, -1, -1, -1, -1},
    {11, 2, 1, 11, 1, 7, 7, 1, 5, -1, -1, -1, -1, -1, -1, -1},
    {9, 5, 8, 8, 5, 7, 10, 1, 3, 10, 3, 11, -1, -1, -1, -1},
    {5, 7, 0, 5, 0, 9, 7, 11, 0, 1, 0, 10, 11, 10, 0, -1},
    {11, 10, 0, 11, 0, 3, 10, 5, 0, 8, 0, 7, 5, 7, 0, -1},
    {11, 10, 5, 7, 11, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {10, 6, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {9, 0, 1, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 8, 3, 1, 9, 8, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1},
    {1, 6, 5, 2, 6, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 6, 5, 1, 2, 6, 3, 0, 8, -1, -1, -1, -1, -1, -1, -1},
    {9, 6, 5, 9, 0, 6, 0, 2, 6, -1, -1, -1, -1, -1, -1, -1},
    {5, 9, 8, 5, 8, 2, 5, 2, 6, 3, 2, 8, -1, -1, -1, -1},
    {2, 3, 11, 10, 6, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {11, 0, 8, 11, 2, 0, 10, 6, 5, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 2, 3, 11, 5, 10, 6, -1, -1, -1, -1, -1, -1, -1},
    {5, 10, 6, 1, 9, 2, 9, 11, 2, 9, 8, 11, -1, -1, -1, -1},
    {6, 3, 11, 6, 5, 3, 5, 1, 3, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 11, 0, 11, 5, 0, 5, 1, 5, 11, 6, -1, -1, -1, -1},
    {3, 11, 6, 0, 3, 6, 0, 6, 5, 0, 5, 9, -1, -1, -1, -1},
    {6, 5, 9, 6, 9, 11, 11, 9, 8, -1, -1, -1, -1, -1, -1, -1},
    {5, 10, 6, 4, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 3, 0, 4, 7, 3, 6, 5, 10, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 0, 5, 10, 6, 8, 4, 7, -1, -1, -1, -1, -1, -1, -1},
    {10, 6, 5, 1, 9, 7, 1, 7, 3, 7, 9, 4, -1, -1, -1, -1},
    {6, 1, 2, 6, 5, 1, 4, 7, 8, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 5, 5, 2, 6, 3, 0, 4, 3, 4, 7, -1, -1, -1, -1},
    {8, 4, 7, 9, 0, 5, 0, 6, 5, 0, 2, 6, -1, -1, -1, -1},
    {7, 3, 9, 7, 9, 4, 3, 2, 9, 5, 9, 6, 2, 6, 9, -1},
    {3, 11, 2, 7, 8, 4, 10, 6, 5, -1, -1, -1, -1, -1, -1, -1},
    {5, 10, 6, 4, 7, 2, 4, 2, 0, 2, 7, 11, -1, -1, -1, -1},
    {0, 1, 9, 4, 7, 8, 2, 3, 11, 5, 10, 6, -1, -1, -1, -1},
    {9, 2, 1, 9, 11, 2, 9, 4, 11, 7, 11, 4, 5, 10, 6, -1},
    {8, 4, 7, 3, 11, 5, 3, 5, 1, 5, 11, 6, -1, -1, -1, -1},
    {5, 1, 11, 5, 11, 6, 1, 0, 11, 7, 11, 4, 0, 4, 11, -1},
    {0, 5, 9, 0, 6, 5, 0, 3, 6, 11, 6, 3, 8, 4, 7, -1},
    {6, 5, 9, 6, 9, 11, 4, 7, 9, 7, 11, 9, -1, -1, -1, -1},
    {10, 4, 9, 6, 4, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 10, 6, 4, 9, 10, 0, 8, 3, -1, -1, -1, -1, -1, -1, -1},
    {10, 0, 1, 10, 6, 0, 6, 4, 0, -1, -1, -1, -1, -1, -1, -1},
    {8, 3, 1, 8, 1, 6, 8, 6, 4, 6, 1, 10, -1, -1, -1, -1},
    {1, 4, 9, 1, 2, 4, 2, 6, 4, -1, -1, -1, -1, -1, -1, -1},
    {3, 0, 8, 1, 2, 9, 2, 4, 9, 2, 6, 4, -1, -1, -1, -1},
    {0, 2, 4, 4, 2, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {8, 3, 2, 8, 2, 4, 4, 2, 6, -1, -1, -1, -1, -1, -1, -1},
    {10, 4, 9, 10, 6, 4, 11, 2, 3, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 2, 2, 8, 11, 4, 9, 10, 4, 10, 6, -1, -1, -1, -1},
    {3, 11, 2, 0, 1, 6, 0, 6, 4, 6, 1, 10, -1, -1, -1, -1},
    {6, 4, 1, 6, 1, 10, 4, 8, 1, 2, 1, 11, 8, 11, 1, -1},
    {9, 6, 4, 9, 3, 6, 9, 1, 3, 11, 6, 3, -1, -1, -1, -1},
    {8, 11, 1, 8, 1, 0, 11, 6, 1, 9, 1, 4, 6, 4, 1, -1},
    {3, 11, 6, 3, 6, 0, 0, 6, 4, -1, -1, -1, -1, -1, -1, -1},
    {6, 4, 8, 11, 6, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {7, 10, 6, 7, 8, 10, 8, 9, 10, -1, -1, -1, -1, -1, -1, -1},
    {0, 7, 3, 0, 10, 7, 0, 9, 10, 6, 7, 10, -1, -1, -1, -1},
    {10, 6, 7, 1, 10, 7, 1, 7, 8, 1, 8, 0, -1, -1, -1, -1},
    {10, 6, 7, 10, 7, 1, 1, 7, 3, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 6, 1, 6, 8, 1, 8, 9, 8, 6, 7, -1, -1, -1, -1},
    {2, 6, 9, 2, 9, 1, 6, 7, 9, 0, 9, 3, 7, 3, 9, -1},
    {7, 8, 0, 7, 0, 6, 6, 0, 2, -1, -1, -1, -1, -1, -1, -1},
    {7, 3, 2, 6, 7, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 3, 11, 10, 6, 8, 10, 8, 9, 8, 6, 7, -1, -1, -1, -1},
    {2, 0, 7, 2, 7, 11, 0, 9, 7, 6, 7, 10, 9, 10, 7, -1},
    {1, 8, 0, 1, 7, 8, 1, 10, 7, 6, 7, 10, 2, 3, 11, -1},
    {11, 2, 1, 11, 1, 7, 10, 6, 1, 6, 7, 1, -1, -1, -1, -1},
    {8, 9, 6, 8, 6, 7, 9, 1, 6, 11, 6, 3, 1, 3, 6, -1},
    {0, 9, 1, 11, 6, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {7, 8, 0, 7, 0, 6, 3, 11, 0, 11, 6, 0, -1, -1, -1, -1},
    {7, 11, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {7, 6, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {3, 0, 8, 11, 7, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 9, 11, 7, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {8, 1, 9, 8, 3, 1, 11, 7, 6, -1, -1, -1, -1, -1, -1, -1},
    {10, 1, 2, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 3, 0, 8, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {2, 9, 0, 2, 10, 9, 6, 11, 7, -1, -1, -1, -1, -1, -1, -1},
    {6, 11, 7, 2, 10, 3, 10, 8, 3, 10, 9, 8, -1, -1, -1, -1},
    {7, 2, 3, 6, 2, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {7, 0, 8, 7, 6, 0, 6, 2, 0, -1, -1, -1, -1, -1, -1, -1},
    {2, 7, 6, 2, 3, 7, 0, 1, 9, -1, -1, -1, -1, -1, -1, -1},
    {1, 6, 2, 1, 8, 6, 1, 9, 8, 8, 7, 6, -1, -1, -1, -1},
    {10, 7, 6, 10, 1, 7, 1, 3, 7, -1, -1, -1, -1, -1, -1, -1},
    {10, 7, 6, 1, 7, 10, 1, 8, 7, 1, 0, 8, -1, -1, -1, -1},
    {0, 3, 7, 0, 7, 10, 0, 10, 9, 6, 10, 7, -1, -1, -1, -1},
    {7, 6, 10, 7, 10, 8, 8, 10, 9, -1, -1, -1, -1, -1, -1, -1},
    {6, 8, 4, 11, 8, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {3, 6, 11, 3, 0, 6, 0, 4, 6, -1, -1, -1, -1, -1, -1, -1},
    {8, 6, 11, 8, 4, 6, 9, 0, 1, -1, -1, -1, -1, -1, -1, -1},
    {9, 4, 6, 9, 6, 3, 9, 3, 1, 11, 3, 6, -1, -1, -1, -1},
    {6, 8, 4, 6, 11, 8, 2, 10, 1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 3, 0, 11, 0, 6, 11, 0, 4, 6, -1, -1, -1, -1},
    {4, 11, 8, 4, 6, 11, 0, 2, 9, 2, 10, 9, -1, -1, -1, -1},
    {10, 9, 3, 10, 3, 2, 9, 4, 3, 11, 3, 6, 4, 6, 3, -1},
    {8, 2, 3, 8, 4, 2, 4, 6, 2, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 2, 4, 6, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 9, 0, 2, 3, 4, 2, 4, 6, 4, 3, 8, -1, -1, -1, -1},
    {1, 9, 4, 1, 4, 2, 2, 4, 6, -1, -1, -1, -1, -1, -1, -1},
    {8, 1, 3, 8, 6, 1, 8, 4, 6, 6, 10, 1, -1, -1, -1, -1},
    {10, 1, 0, 10, 0, 6, 6, 0, 4, -1, -1, -1, -1, -1, -1, -1},
    {4, 6, 3, 4, 3, 8, 6, 10, 3, 0, 3, 9, 10, 9, 3, -1},
    {10, 9, 4, 6, 10, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 9, 5, 7, 6, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 4, 9, 5, 11, 7, 6, -1, -1, -1, -1, -1, -1, -1},
    {5, 0, 1, 5, 4, 0, 7, 6, 11, -1, -1, -1, -1, -1, -1, -1},
    {11, 7, 6, 8, 3, 4, 3, 5, 4, 3, 1, 5, -1, -1, -1, -1},
    {9, 5, 4, 10, 1, 2, 7, 6, 11, -1, -1, -1, -1, -1, -1, -1},
    {6, 11, 7, 1, 2, 10, 0, 8, 3, 4, 9, 5, -1, -1, -1, -1},
    {7, 6, 11, 5, 4, 10, 4, 2, 10, 4, 0, 2, -1, -1, -1, -1},
    {3, 4, 8, 3, 5, 4, 3, 2, 5, 10, 5, 2, 11, 7, 6, -1},
    {7, 2, 3, 7, 6, 2, 5, 4, 9, -1, -1, -1, -1, -1, -1, -1},
    {9, 5, 4, 0, 8, 6, 0, 6, 2, 6, 8, 7, -1, -1, -1, -1},
    {3, 6, 2, 3, 7, 6, 1, 5, 0, 5, 4, 0, -1, -1, -1, -1},
    {6, 2, 8, 6, 8, 7, 2, 1, 8, 4, 8, 5, 1, 5, 8, -1},
    {9, 5, 4, 10, 1, 6, 1, 7, 6, 1, 3, 7, -1, -1, -1, -1},
    {1, 6, 10, 1, 7, 6, 1, 0, 7, 8, 7, 0, 9, 5, 4, -1},
    {4, 0, 10, 4, 10, 5, 0, 3, 10, 6, 10, 7, 3, 7, 10, -1},
    {7, 6, 10, 7, 10, 8, 5, 4, 10, 4, 8, 10, -1, -1, -1, -1},
    {6, 9, 5, 6, 11, 9, 11, 8, 9, -1, -1, -1, -1, -1, -1, -1},
    {3, 6, 11, 0, 6, 3, 0, 5, 6, 0, 9, 5, -1, -1, -1, -1},
    {0, 11, 8, 0, 5, 11, 0, 1, 5, 5, 6, 11, -1, -1, -1, -1},
    {6, 11, 3, 6, 3, 5, 5, 3, 1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 10, 9, 5, 11, 9, 11, 8, 11, 5, 6, -1, -1, -1, -1},
    {0, 11, 3, 0, 6, 11, 0, 9, 6, 5, 6, 9, 1, 2, 10, -1},
    {11, 8, 5, 11, 5, 6, 8, 0, 5, 10, 5, 2, 0, 2, 5, -1},
    {6, 11, 3, 6, 3, 5, 2, 10, 3, 10, 5, 3, -1, -1, -1, -1},
    {5, 8, 9, 5, 2, 8, 5, 6, 2, 3, 8, 2, -1, -1, -1, -1},
    {9, 5, 6, 9, 6, 0, 0, 6, 2, -1, -1, -1, -1, -1, -1, -1},
    {1, 5, 8, 1, 8, 0, 5, 6, 8, 3, 8, 2, 6, 2, 8, -1},
    {1, 5, 6, 2, 1, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 3, 6, 1, 6, 10, 3, 8, 6, 5, 6, 9, 8, 9, 6, -1},
    {10, 1, 0, 10, 0, 6, 9, 5, 0, 5, 6, 0, -1, -1, -1, -1},
    {0, 3, 8, 5, 6, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {10, 5, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {11, 5, 10, 7, 5, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {11, 5, 10, 11, 7, 5, 8, 3, 0, -1, -1, -1, -1, -1, -1, -1},
    {5, 11, 7, 5, 10, 11, 1, 9, 0, -1, -1, -1, -1, -1, -1, -1},
    {10, 7, 5, 10, 11, 7, 9, 8, 1, 8, 3, 1, -1, -1, -1, -1},
    {11, 1, 2, 11, 7, 1, 7, 5, 1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 1, 2, 7, 1, 7, 5, 7, 2, 11, -1, -1, -1, -1},
    {9, 7, 5, 9, 2, 7, 9, 0, 2, 2, 11, 7, -1, -1, -1, -1},
    {7, 5, 2, 7, 2, 11, 5, 9, 2, 3, 2, 8, 9, 8, 2, -1},
    {2, 5, 10, 2, 3, 5, 3, 7, 5, -1, -1, -1, -1, -1, -1, -1},
    {8, 2, 0, 8, 5, 2, 8, 7, 5, 10, 2, 5, -1, -1, -1, -1},
    {9, 0, 1, 5, 10, 3, 5, 3, 7, 3, 10, 2, -1, -1, -1, -1},
    {9, 8, 2, 9, 2, 1, 8, 7, 2, 10, 2, 5, 7, 5, 2, -1},
    {1, 3, 5, 3, 7, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 7, 0, 7, 1, 1, 7, 5, -1, -1, -1, -1, -1, -1, -1},
    {9, 0, 3, 9, 3, 5, 5, 3, 7, -1, -1, -1, -1, -1, -1, -1},
    {9, 8, 7, 5, 9, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {5, 8, 4, 5, 10, 8, 10, 11, 8, -1, -1, -1, -1, -1, -1, -1},
    {5, 0, 4, 5, 11, 0, 5, 10, 11, 11, 3, 0, -1, -1, -1, -1},
    {0, 1, 9, 8, 4, 10, 8, 10, 11, 10, 4, 5, -1, -1, -1, -1},
    {10, 11, 4, 10, 4, 5, 11, 3, 4, 9, 4, 1, 3, 1, 4, -1},
    {2, 5, 1, 2, 8, 5, 2, 11, 8, 4, 5, 8, -1, -1, -1, -1},
    {0, 4, 11, 0, 11, 3, 4, 5, 11, 2, 11, 1, 5, 1, 11, -1},
    {0, 2, 5, 0, 5, 9, 2, 11, 5, 4, 5, 8, 11, 8, 5, -1},
    {9, 4, 5, 2, 11, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 5, 10, 3, 5, 2, 3, 4, 5, 3, 8, 4, -1, -1, -1, -1},
    {5, 10, 2, 5, 2, 4, 4, 2, 0, -1, -1, -1, -1, -1, -1, -1},
    {3, 10, 2, 3, 5, 10, 3, 8, 5, 4, 5, 8, 0, 1, 9, -1},
    {5, 10, 2, 5, 2, 4, 1, 9, 2, 9, 4, 2, -1, -1, -1, -1},
    {8, 4, 5, 8, 5, 3, 3, 5, 1, -1, -1, -1, -1, -1, -1, -1},
    {0, 4, 5, 1, 0, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {8, 4, 5, 8, 5, 3, 9, 0, 5, 0, 3, 5, -1, -1, -1, -1},
    {9, 4, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 11, 7, 4, 9, 11, 9, 10, 11, -1, -1, -1, -1, -1, -1, -1},
    {0, 8, 3, 4, 9, 7, 9, 11, 7, 9, 10, 11, -1, -1, -1, -1},
    {1, 10, 11, 1, 11, 4, 1, 4, 0, 7, 4, 11, -1, -1, -1, -1},
    {3, 1, 4, 3, 4, 8, 1, 10, 4, 7, 4, 11, 10, 11, 4, -1},
    {4, 11, 7, 9, 11, 4, 9, 2, 11, 9, 1, 2, -1, -1, -1, -1},
    {9, 7, 4, 9, 11, 7, 9, 1, 11, 2, 11, 1, 0, 8, 3, -1},
    {11, 7, 4, 11, 4, 2, 2, 4, 0, -1, -1, -1, -1, -1, -1, -1},
    {11, 7, 4, 11, 4, 2, 8, 3, 4, 3, 2, 4, -1, -1, -1, -1},
    {2, 9, 10, 2, 7, 9, 2, 3, 7, 7, 4, 9, -1, -1, -1, -1},
    {9, 10, 7, 9, 7, 4, 10, 2, 7, 8, 7, 0, 2, 0, 7, -1},
    {3, 7, 10, 3, 10, 2, 7, 4, 10, 1, 10, 0, 4, 0, 10, -1},
    {1, 10, 2, 8, 7, 4, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 9, 1, 4, 1, 7, 7, 1, 3, -1, -1, -1, -1, -1, -1, -1},
    {4, 9, 1, 4, 1, 7, 0, 8, 1, 8, 7, 1, -1, -1, -1, -1},
    {4, 0, 3, 7, 4, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {4, 8, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {9, 10, 8, 10, 11, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {3, 0, 9, 3, 9, 11, 11, 9, 10, -1, -1, -1, -1, -1, -1, -1},
    {0, 1, 10, 0, 10, 8, 8, 10, 11, -1, -1, -1, -1, -1, -1, -1},
    {3, 1, 10, 11, 3, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 2, 11, 1, 11, 9, 9, 11, 8, -1, -1, -1, -1, -1, -1, -1},
    {3, 0, 9, 3, 9, 11, 1, 2, 9, 2, 11, 9, -1, -1, -1, -1},
    {0, 2, 11, 8, 0, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {3, 2, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 3, 8, 2, 8, 10, 10, 8, 9, -1, -1, -1, -1, -1, -1, -1},
    {9, 10, 2, 0, 9, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 3, 8, 2, 8, 10, 0, 1, 8, 1, 10, 8, -1, -1, -1, -1},
    {1, 10, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 3, 8, 9, 1, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 9, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, 3, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
};
// clang-format on

namespace {

constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();

// Corner c of a cell relative to its first corner (table order).
constexpr int kCornerX[8] = {0, 1, 1, 0, 0, 1, 1, 0};
constexpr int kCornerY[8] = {0, 0, 1, 1, 0, 0, 1, 1};
constexpr int kCornerZ[8] = {0, 0, 0, 0, 1, 1, 1, 1};

// Vertices each case emits, so that counting never touches an edge.
struct CaseVertexCounts {
    uint8_t count[256];
    CaseVertexCounts() {
        for (int c = 0; c < 256; ++c) {
            int n = 0;
            while (n < 16 && kMbTriangleTable[c][n] >= 0)
                ++n;
            count[c] = static_cast<uint8_t>(n);
        }
    }
};
const CaseVertexCounts kCaseVertices;

// Overflow is rare, so both saturations test and branch instead of clamping:
// the hot rows then keep no limits in registers.
inline int32_t saturate(int64_t v) {
    if (v == static_cast<int32_t>(v)) return static_cast<int32_t>(v);
    return v > 0 ? kInt32Max : kInt32Min;
}

// trunc toward zero, saturated; NaN gives 0.
int32_t truncSaturate(double v) {
    if (!(v == v)) return 0;
    if (v <= kInt32Min) return kInt32Min;
    if (v >= kInt32Max) return kInt32Max;
    return static_cast<int32_t>(v);
}

inline void addInto(int32_t& value, int32_t add) {
    int32_t sum;
    if (__builtin_add_overflow(value, add, &sum)) sum = add > 0 ? kInt32Max : kInt32Min;
    value = sum;
}

float wordFloat(uint32_t word) {
    float f;
    std::memcpy(&f, &word, 4);
    return f;
}

uint32_t floatWordOf(float f) {
    uint32_t word;
    std::memcpy(&word, &f, 4);
    return word;
}

// A MetaBallVolume read from VM memory with its grid range-tested. A size
// of 0 or below makes the grid empty (and untested: nothing is touched).
struct Volume {
    int32_t sx = 0, sy = 0, sz = 0;
    int32_t* values = nullptr;
    bool empty() const { return sx <= 0 || sy <= 0 || sz <= 0; }
    int32_t& at(int64_t x, int64_t y, int64_t z) const { return values[x + sx * (y + sy * z)]; }
};

bool readVolume(VMState* s, uint32_t address, Volume& v) {
    if (!vcheckArea(s, address, 4)) return false;
    const uint32_t* record = s->memory + address;
    v.sx = static_cast<int32_t>(record[0]);
    v.sy = static_cast<int32_t>(record[1]);
    v.sz = static_cast<int32_t>(record[2]);
    uint32_t grid = record[3];
    if (v.empty()) return true;
    // Cut the product short: a grid larger than any VM memory only has to fail.
    constexpr int64_t kBeyond = int64_t{1} << 31;
    int64_t words = std::min<int64_t>(int64_t{v.sx} * v.sy, kBeyond) * v.sz;
    if (!vcheckArea(s, grid, words)) return false;
    v.values = reinterpret_cast<int32_t*>(s->memory + grid);
    return true;
}

bool readVector(VMState* s, uint32_t address, float out[3]) {
    if (!vcheckArea(s, address, 3)) return false;
    for (int i = 0; i < 3; ++i)
        out[i] = wordFloat(s->memory[address + i]);
    return true;
}

// The half-open range b <= i < size - b, inside the grid.
struct Span {
    int64_t lo, hi;
};
Span borderSpan(int32_t size, int32_t border) {
    int64_t b = std::max<int32_t>(border, 0);
    return {b, int64_t{size} - b};
}

// The hot rows get functions of their own: with few values live, they all
// stay in registers. Spans lie inside the grid, so x fits the int32 sizes.
void inverseSquareRow(int32_t* row, int32_t x0, int32_t x1, float cx, float dzy, float strength) {
    for (int32_t x = x0; x < x1; ++x) {
        float dx = static_cast<float>(x) - cx;
        float d2 = std::max(dzy + dx * dx, 1.0f);
        addInto(row[x], truncSaturate(strength / d2));
    }
}

// k: the first point's x distance from the centre in 1/32 steps.
void lookupRow(int32_t* row, int32_t count, const int32_t* falloff, int64_t ij, int64_t k,
               int64_t w) {
    for (int32_t x = 0; x < count; ++x, k += 32)
        addInto(row[x], saturate((w * falloff[ij + k * k]) >> 8));
}

// value += trunc(s / max(d^2, 1)) over the box, d measured from the centre.
void addInverseSquare(const Volume& v, const float centre[3], float strength, Span xs, Span ys,
                      Span zs) {
    for (int64_t z = zs.lo; z < zs.hi; ++z) {
        float dz = static_cast<float>(z) - centre[2];
        for (int64_t y = ys.lo; y < ys.hi; ++y) {
            float dy = static_cast<float>(y) - centre[1];
            inverseSquareRow(&v.at(0, y, z), static_cast<int32_t>(xs.lo),
                             static_cast<int32_t>(xs.hi), centre[0], dz * dz + dy * dy, strength);
        }
    }
}

// Start and end of the fixed-point ball along one axis: the cells within n
// of the centre's cell, moved inside the border.
Span lookupSpan(int32_t c32, int32_t n, int32_t size, int32_t border) {
    int64_t b = std::max<int32_t>(border, 0);
    int64_t lo = c32 / 32 - int64_t{n}, hi = c32 / 32 + int64_t{n};
    int64_t top = int64_t{size} - b;
    auto clampOne = [&](int64_t i) {
        if (i < b) i = b;
        if (i >= top) i = top - 1;
        return i;
    };
    return {clampOne(lo), clampOne(hi)};
}

// One output vertex on the edge from corner A to corner B of a cell.
struct EdgeVertex {
    float normal[3], position[3];
};

// The vertex where the field crosses 0 between grid points a and b (indices
// ia, ib; integer coordinates pa, pb). g is the crossing as a fraction of 256.
void edgeVertex(const Volume& v, int64_t ia, int64_t ib, const int64_t pa[3], const int64_t pb[3],
                const int64_t steps[3], EdgeVertex& out) {
    int64_t va = v.values[ia], vb = v.values[ib];
    int64_t g = 256 * va / (va - vb);  // the signs differ, so va != vb
    double length2 = 0;
    int64_t n[3];
    for (int a = 0; a < 3; ++a) {
        out.position[a] = static_cast<float>((255 - g) * pa[a] + g * pb[a]) * (1.0f / 255.0f);
        int64_t ga = v.values[ia + steps[a]] - va, gb = v.values[ib + steps[a]] - vb;
        n[a] = 256 * ga + g * (gb - ga);
        length2 += static_cast<double>(n[a]) * static_cast<double>(n[a]);
    }
    // A flat field has no direction; (0, 0, 0) tells the shader so.
    double scale = length2 > 0 ? -1.0 / std::sqrt(length2) : 0.0;
    for (int a = 0; a < 3; ++a)
        out.normal[a] = static_cast<float>(static_cast<double>(n[a]) * scale);
}

// Marching cubes over every cell whose corners leave room for the forward
// differences of the normals. Writes at most `capacity` vertices to `out`
// (none when it is null) and returns how many the surface has.
int64_t triangulate(const Volume& v, uint32_t* out, int64_t capacity) {
    if (v.empty() || v.sx < 3 || v.sy < 3 || v.sz < 3) return 0;
    const int64_t steps[3] = {1, v.sx, int64_t{v.sx} * v.sy};
    int64_t cornerOffset[8];
    for (int c = 0; c < 8; ++c)
        cornerOffset[c] = kCornerX[c] * steps[0] + kCornerY[c] * steps[1] + kCornerZ[c] * steps[2];
    int64_t produced = 0;
    EdgeVertex edges[12];
    for (int64_t z = 0; z + 2 < v.sz; ++z)
        for (int64_t y = 0; y + 2 < v.sy; ++y)
            for (int64_t x = 0; x + 2 < v.sx; ++x) {
                int64_t base = x + steps[1] * y + steps[2] * z;
                int index = 0;
                for (int c = 0; c < 8; ++c)
                    index |= (v.values[base + cornerOffset[c]] < 0) << c;
                if (index == 0 || index == 255) continue;
                if (!out || produced >= capacity) {
                    produced += kCaseVertices.count[index];
                    continue;
                }
                for (int e = 0; e < 12; ++e) {
                    if (!(kMbEdgeTable[index] >> e & 1)) continue;
                    int a = kMbEdgeCorners[e][0], b = kMbEdgeCorners[e][1];
                    const int64_t pa[3] = {x + kCornerX[a], y + kCornerY[a], z + kCornerZ[a]};
                    const int64_t pb[3] = {x + kCornerX[b], y + kCornerY[b], z + kCornerZ[b]};
                    edgeVertex(v, base + cornerOffset[a], base + cornerOffset[b], pa, pb, steps,
                               edges[e]);
                }
                for (const int8_t* e = kMbTriangleTable[index]; *e >= 0; ++e, ++produced) {
                    if (produced >= capacity) continue;
                    const EdgeVertex& vertex = edges[*e];
                    uint32_t* record = out + produced * 6;
                    for (int i = 0; i < 3; ++i) {
                        record[i] = floatWordOf(vertex.normal[i]);
                        record[3 + i] = floatWordOf(vertex.position[i]);
                    }
                }
            }
    return produced;
}

}  // namespace

int64_t mbLookupWords(int32_t radius) {
    // Past 2^20 either way no table fits in any VM; the value only has to
    // fail vcheck (and must not overflow on the way).
    int64_t side = std::clamp<int64_t>(int64_t{radius} + 1, -(int64_t{1} << 20), int64_t{1} << 20);
    return side * side * 3072;
}

int32_t mbFalloff(int32_t radius, int64_t index) {
    if (index <= 0) return 0;
    // Single precision throughout, so the table is the same on every build.
    const float divisor = static_cast<float>(int64_t{radius} * radius * 1024);
    const float x = static_cast<float>(index) / divisor;
    if (x > 1.0f) return 0;
    const float x2 = x * x;
    const float x3 = x2 * x;
    const float f = 1.0f - (22.0f / 9.0f) * x + (17.0f / 9.0f) * x2 - (4.0f / 9.0f) * x3;
    const float scaled = f * 98304.0f;
    return scaled < 0.0f ? 0 : static_cast<int32_t>(scaled);
}

void vmnMbClear(VMState* s) {
    int32_t value = vmPopInt(s);
    Volume v;
    if (!readVolume(s, vmPop(s), v) || v.empty()) return;
    std::fill_n(v.values, int64_t{v.sx} * v.sy * v.sz, value);
}

void vmnMbBall(VMState* s) {
    int32_t border = vmPopInt(s);
    float strength = vmPopFloat(s);
    uint32_t centreAddress = vmPop(s);
    Volume v;
    float centre[3];
    if (!readVolume(s, vmPop(s), v) || !readVector(s, centreAddress, centre) || v.empty()) return;
    addInverseSquare(v, centre, strength, borderSpan(v.sx, border), borderSpan(v.sy, border),
                     borderSpan(v.sz, border));
}

void vmnMbDisc(VMState* s) {
    int32_t border = vmPopInt(s);
    float strength = vmPopFloat(s);
    int32_t slice = vmPopInt(s);
    uint32_t centreAddress = vmPop(s);
    Volume v;
    float centre[3];
    if (!readVolume(s, vmPop(s), v) || !readVector(s, centreAddress, centre) || v.empty()) return;
    Span zs = borderSpan(v.sz, border);
    if (slice < zs.lo || slice >= zs.hi) return;
    addInverseSquare(v, centre, strength, borderSpan(v.sx, border), borderSpan(v.sy, border),
                     {slice, int64_t{slice} + 1});
}

void vmnMbLookupBall(VMState* s) {
    int32_t border = vmPopInt(s);
    float strength = vmPopFloat(s);
    uint32_t centreAddress = vmPop(s);
    uint32_t lookupAddress = vmPop(s);
    Volume v;
    float centre[3];
    if (!readVolume(s, vmPop(s), v) || !vcheckArea(s, lookupAddress, 2) ||
        !readVector(s, centreAddress, centre))
        return;
    int32_t n = static_cast<int32_t>(s->memory[lookupAddress]);
    uint32_t table = s->memory[lookupAddress + 1];
    if (n < 0 || v.empty() || !vcheckArea(s, table, mbLookupWords(n))) return;
    const int32_t* falloff = reinterpret_cast<const int32_t*>(s->memory + table);

    int32_t c[3];
    for (int a = 0; a < 3; ++a)
        c[a] = truncSaturate(static_cast<double>(centre[a]) * 32.0);
    const int64_t w = truncSaturate(static_cast<double>(strength) * 256.0);
    Span xs = lookupSpan(c[0], n, v.sx, border), ys = lookupSpan(c[1], n, v.sy, border),
         zs = lookupSpan(c[2], n, v.sz, border);
    if (xs.lo == xs.hi || ys.lo == ys.hi || zs.lo >= zs.hi) return;
    for (int64_t z = zs.lo; z < zs.hi; ++z) {
        int64_t i = z * 32 - c[2];
        for (int64_t y = ys.lo; y < ys.hi; ++y) {
            int64_t j = y * 32 - c[1];
            lookupRow(&v.at(xs.lo, y, z), static_cast<int32_t>(xs.hi - xs.lo), falloff,
                      i * i + j * j, xs.lo * 32 - c[0], w);
        }
    }
}

void vmnMbValue(VMState* s) {
    uint32_t pointAddress = vmPop(s);
    Volume v;
    float p[3];
    int32_t result = 0;
    if (readVolume(s, vmPop(s), v) && readVector(s, pointAddress, p) && !v.empty()) {
        const int32_t size[3] = {v.sx, v.sy, v.sz};
        int64_t i[3];
        double f[3];
        bool inside = true;
        for (int a = 0; a < 3; ++a) {
            // trunc(p) in [0, size - 2] exactly when -1 < p < size - 1 (NaN fails).
            inside = inside && p[a] > -1.0f && static_cast<double>(p[a]) < size[a] - 1.0;
            i[a] = inside ? static_cast<int64_t>(p[a]) : 0;
            f[a] = static_cast<double>(p[a]) - static_cast<double>(i[a]);
        }
        if (inside) {
            double sum = 0;
            for (int c = 0; c < 8; ++c) {
                double weight = (c & 1 ? f[0] : 1 - f[0]) * (c & 2 ? f[1] : 1 - f[1]) *
                                (c & 4 ? f[2] : 1 - f[2]);
                sum += weight * v.at(i[0] + (c & 1), i[1] + (c >> 1 & 1), i[2] + (c >> 2));
            }
            result = truncSaturate(sum);
        }
    }
    vmPush(s, static_cast<uint32_t>(result));
}

void vmnMbTriangleCount(VMState* s) {
    Volume v;
    int64_t count = readVolume(s, vmPop(s), v) ? triangulate(v, nullptr, 0) : 0;
    vmPush(s, static_cast<uint32_t>(saturate(count)));
}

void vmnMbTriangulateN3V3(VMState* s) {
    int64_t capacity = std::max(vmPopInt(s), 0);
    uint32_t output = vmPop(s);
    Volume v;
    int64_t count = 0;
    if (readVolume(s, vmPop(s), v) && (capacity == 0 || vcheckArea(s, output, capacity * 6)))
        count = triangulate(v, capacity > 0 ? s->memory + output : nullptr, capacity);
    vmPush(s, static_cast<uint32_t>(saturate(count)));
}

void vmnMbLookupCreate(VMState* s) {
    int32_t radius = vmPopInt(s);
    uint32_t lookup = vmPop(s);
    if (!vcheckArea(s, lookup, 2)) return;
    int64_t words = mbLookupWords(radius);
    if (radius < 0 || words > kInt32Max / 2) {
        vmLog('S', "mbLookupCreate: no falloff table for radius %d\n", radius);
        s->errorFlag = 1;
        return;
    }
    // vmalloc may move memory: keep word addresses, take the pointer after.
    int32_t table = vmalloc(s, static_cast<int32_t>(words));
    s->memory[lookup] = static_cast<uint32_t>(radius);
    s->memory[lookup + 1] = static_cast<uint32_t>(table);
    if (table == 0) return;
    uint32_t* entries = s->memory + table;
    for (int64_t i = 0; i < words; ++i)
        entries[i] = static_cast<uint32_t>(mbFalloff(radius, i));
}

void vmnMbLookupDestroy(VMState* s) {
    uint32_t lookup = vmPop(s);
    if (!vcheckArea(s, lookup, 2)) return;
    uint32_t table = s->memory[lookup + 1];
    // A lookup without a table (never made, or destroyed before) has nothing to free.
    if (table != 0) vfree(s, static_cast<int32_t>(table));
    s->memory[lookup] = 0;
    s->memory[lookup + 1] = 0;
}
