#include "curves/fourier.h"

#include <cmath>
#include <utility>
#include <vector>

#include "curves/numerics.h"

namespace quorvel {

void fourn(float* data, const unsigned long* nn, int ndim, int isign) {
  unsigned long ntot = 1;
  for (int idim = 1; idim <= ndim; ++idim) ntot *= nn[idim];
  unsigned long nprev = 1;
  for (int idim = ndim; idim >= 1; --idim) {
    const unsigned long n = nn[idim];
    const unsigned long nrem = ntot / (n * nprev);
    const unsigned long ip1 = nprev << 1;
    const unsigned long ip2 = ip1 * n;
    const unsigned long ip3 = ip2 * nrem;
    unsigned long i2rev = 1;
    for (unsigned long i2 = 1; i2 <= ip2; i2 += ip1) {
      if (i2 < i2rev) {
        for (unsigned long i1 = i2; i1 <= i2 + ip1 - 2; i1 += 2) {
          for (unsigned long i3 = i1; i3 <= ip3; i3 += ip2) {
            const unsigned long i3rev = i2rev + i3 - i2;
            std::swap(data[i3], data[i3rev]);
            std::swap(data[i3 + 1], data[i3rev + 1]);
          }
        }
      }
      unsigned long ibit = ip2 >> 1;
      while (ibit >= ip1 && i2rev > ibit) {
        i2rev -= ibit;
        ibit >>= 1;
      }
      i2rev += ibit;
    }
    unsigned long ifp1 = ip1;
    while (ifp1 < ip2) {
      const unsigned long ifp2 = ifp1 << 1;
      const double theta = isign * 6.28318530717959 / static_cast<double>(ifp2 / ip1);
      double wtemp = std::sin(0.5 * theta);
      const double wpr = -2.0 * wtemp * wtemp;
      const double wpi = std::sin(theta);
      double wr = 1.0, wi = 0.0;
      for (unsigned long i3 = 1; i3 <= ifp1; i3 += ip1) {
        for (unsigned long i1 = i3; i1 <= i3 + ip1 - 2; i1 += 2) {
          for (unsigned long i2 = i1; i2 <= ip3; i2 += ifp2) {
            const unsigned long k1 = i2, k2 = k1 + ifp1;
            const float tempr = static_cast<float>(wr) * data[k2] - static_cast<float>(wi) * data[k2 + 1];
            const float tempi = static_cast<float>(wr) * data[k2 + 1] + static_cast<float>(wi) * data[k2];
            data[k2] = data[k1] - tempr;
            data[k2 + 1] = data[k1 + 1] - tempi;
            data[k1] += tempr;
            data[k1 + 1] += tempi;
          }
        }
        wr = (wtemp = wr) * wpr - wi * wpi + wr;
        wi = wi * wpr + wtemp * wpi + wi;
      }
      ifp1 = ifp2;
    }
    nprev *= n;
  }
}

namespace {
bool powerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

void transform(float* real, float* imag, const unsigned long* nn, int ndim, int sign) {
  const int total = static_cast<int>(nn[1] * (ndim == 2 ? nn[2] : 1));
  // One-dimensional curve transforms (512 points) stay on the stack: the regional analysis runs
  // them per mesh node.
  constexpr int kStackPoints = 512;
  float stackData[2 * kStackPoints + 1];
  std::vector<float> heapData;
  float* data = stackData;
  if (total > kStackPoints) {
    heapData.resize(2 * static_cast<size_t>(total) + 1);
    data = heapData.data();
  }
  for (int k = 0; k < total; ++k) {
    data[2 * k + 1] = real[k];
    data[2 * k + 2] = imag[k];
  }
  fourn(data, nn, ndim, sign);
  const float scale = sign == 1 ? static_cast<float>(total) : 1.0f;
  for (int k = 0; k < total; ++k) {
    real[k] = data[2 * k + 1];
    imag[k] = data[2 * k + 2];
    if (sign == 1) {
      real[k] /= scale;
      imag[k] /= scale;
    }
  }
}
}  // namespace

void TFn1(float* real, float* imag, int n, int sign) {
  if (!powerOfTwo(n)) throw NumericalError("TFn1: size is not a power of two");
  const unsigned long nn[2] = {0, static_cast<unsigned long>(n)};
  transform(real, imag, nn, 1, sign);
}

void TFn2(float* real, float* imag, int nx, int ny, int sign) {
  if (!powerOfTwo(nx) || !powerOfTwo(ny)) throw NumericalError("TFn2: size is not a power of two");
  const unsigned long nn[3] = {0, static_cast<unsigned long>(nx), static_cast<unsigned long>(ny)};
  transform(real, imag, nn, 2, sign);
}

}  // namespace quorvel
