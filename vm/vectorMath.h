// The geometry behind the vector, matrix and interpolation instructions, in
// single precision. Matrices are 16 floats in column-major order (row r,
// column c at index 4c + r); points are column vectors.
#pragma once

struct Vec3 {
    float x, y, z;
};

Vec3 vecCross(Vec3 a, Vec3 b);
float vecLength(Vec3 v);
// v / |v|, or v * |v| (that is, unchanged zero) when the length is 0.
Vec3 vecNormalise(Vec3 v);
Vec3 matTransformPoint(const float* m, Vec3 v);
Vec3 matTransformNormal(const float* m, Vec3 v);

// Every result is computed into `d` after the operands are read, so `d`
// may alias an operand.
void matMultiply(float* d, const float* a, const float* b);
void matIdentity(float* d);
void matTranslate(float* d, const float* s, float x, float y, float z);
void matScale(float* d, const float* s, float x, float y, float z);
void matRotate(float* d, const float* s, float angle, float x, float y, float z);
void matLookAt(float* d, const float* s, Vec3 eye, Vec3 target, Vec3 up);
void matBillboard(float* d, const float* s, float scale);

float interpLinear(float a, float b, float t);
float interpCatmullRom(float p0, float p1, float p2, float p3, float t);
