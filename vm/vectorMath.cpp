#include "vm/vectorMath.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

Vec3 vecCross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float vecLength(Vec3 v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

Vec3 vecNormalise(Vec3 v) {
    float length = vecLength(v);
    float factor = length > 0 ? 1.0f / length : length;
    return {v.x * factor, v.y * factor, v.z * factor};
}

Vec3 matTransformPoint(const float* m, Vec3 v) {
    return {m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12],
            m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13],
            m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14]};
}

Vec3 matTransformNormal(const float* m, Vec3 v) {
    return {m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
            m[2] * v.x + m[6] * v.y + m[10] * v.z};
}

void matMultiply(float* d, const float* a, const float* b) {
    float result[16];
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            float sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a[4 * k + r] * b[4 * c + k];
            result[4 * c + r] = sum;
        }
    std::memcpy(d, result, sizeof result);
}

void matIdentity(float* d) {
    for (int i = 0; i < 16; ++i)
        d[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void matTranslate(float* d, const float* s, float x, float y, float z) {
    float t[16];
    matIdentity(t);
    t[12] = x;
    t[13] = y;
    t[14] = z;
    matMultiply(d, s, t);
}

void matScale(float* d, const float* s, float x, float y, float z) {
    float t[16] = {};
    t[0] = x;
    t[5] = y;
    t[10] = z;
    t[15] = 1;
    matMultiply(d, s, t);
}

void matRotate(float* d, const float* s, float angle, float x, float y, float z) {
    float length = std::sqrt(x * x + y * y + z * z);
    if (length > 0) {
        x /= length;
        y /= length;
        z /= length;
    }
    float c = std::cos(angle), sn = std::sin(angle), ic = 1 - c;
    float r[16] = {};
    r[0] = c + x * x * ic;
    r[1] = x * y * ic - z * sn;
    r[2] = x * z * ic + y * sn;
    r[4] = x * y * ic + z * sn;
    r[5] = c + y * y * ic;
    r[6] = y * z * ic - x * sn;
    r[8] = x * z * ic - y * sn;
    r[9] = y * z * ic + x * sn;
    r[10] = c + z * z * ic;
    r[15] = 1;
    matMultiply(d, s, r);
}

void matLookAt(float* d, const float* s, Vec3 eye, Vec3 target, Vec3 up) {
    Vec3 f{target.x - eye.x, target.y - eye.y, target.z - eye.z};
    Vec3 side = vecCross(f, up);
    Vec3 u = vecCross(side, f);
    side = vecNormalise(side);
    u = vecNormalise(u);
    f = vecNormalise(f);
    float l[16] = {};
    l[0] = side.x;
    l[4] = side.y;
    l[8] = side.z;
    l[1] = u.x;
    l[5] = u.y;
    l[9] = u.z;
    l[2] = -f.x;
    l[6] = -f.y;
    l[10] = -f.z;
    l[15] = 1;
    float view[16];
    matMultiply(view, s, l);
    matTranslate(d, view, -eye.x, -eye.y, -eye.z);
}

void matBillboard(float* d, const float* s, float scale) {
    float det = (s[5] * s[10] - s[9] * s[6]) * s[0] - (s[10] * s[4] - s[6] * s[8]) * s[1] +
                (s[9] * s[4] - s[5] * s[8]) * s[2];
    float value = det * scale;
    float result[16];
    std::memcpy(result, s, sizeof result);
    for (int i : {1, 2, 4, 6, 8, 9})
        result[i] = 0;
    result[0] = result[5] = result[10] = value;
    std::memcpy(d, result, sizeof result);
}

float interpLinear(float a, float b, float t) {
    return a * (1 - t) + b * t;
}

float interpCatmullRom(float p0, float p1, float p2, float p3, float t) {
    return 0.5f * (2 * p1 + (p2 - p0) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t * t +
                   (-p0 + 3 * p1 - 3 * p2 + p3) * t * t * t);
}
