#pragma once
// Fast Fourier transforms in single precision, in place.
namespace quorvel {

// Multidimensional FFT on data[1..2*ntot] (interleaved real, imaginary; index 0 unused);
// nn[1..ndim] are the sizes, each a power of two. isign 1 forward, -1 inverse; no scaling.
void fourn(float* data, const unsigned long* nn, int ndim, int isign);

// n complex values real[k] + i imag[k], n a power of two (throws NumericalError otherwise).
// sign 1: forward and divided by n; sign -1: inverse, unscaled. So 1 then -1 is the identity.
void TFn1(float* real, float* imag, int n, int sign);
// Same for an nx x ny array stored row by row (element (ix, iy) at ix*ny + iy).
void TFn2(float* real, float* imag, int nx, int ny, int sign);

}  // namespace quorvel
