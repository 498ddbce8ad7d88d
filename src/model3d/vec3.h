#pragma once
// Small single-precision vector arithmetic of the model frame.
#include <cmath>

#include "model3d/model3d_state.h"

namespace quorvel {

inline Vec3f operator+(Vec3f a, Vec3f b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3f operator-(Vec3f a, Vec3f b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3f operator*(float s, Vec3f a) { return {s * a.x, s * a.y, s * a.z}; }
inline float dot(Vec3f a, Vec3f b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3f cross(Vec3f a, Vec3f b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline float norm(Vec3f a) { return std::sqrt(dot(a, a)); }
// a / |a|, or a unchanged when its length is 0.
inline Vec3f normalised(Vec3f a) {
  const float n = norm(a);
  return n > 0 ? Vec3f{a.x / n, a.y / n, a.z / n} : a;
}

// Element (v, t) of three per-ventricle tables as a vector, and back.
inline Vec3f get3(const VentricleTable<float>& x, const VentricleTable<float>& y, const VentricleTable<float>& z, int v,
                  int t) {
  return {x[v][t], y[v][t], z[v][t]};
}
inline void set3(VentricleTable<float>& x, VentricleTable<float>& y, VentricleTable<float>& z, int v, int t, Vec3f p) {
  x[v][t] = p.x, y[v][t] = p.y, z[v][t] = p.z;
}

}  // namespace quorvel
