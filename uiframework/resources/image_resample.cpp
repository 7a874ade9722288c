#include "uiframework/resources/image_resample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Veneer {

namespace {

// The weights of one destination pixel along an axis: `count` source
// pixels from `first`, in 1/kOne units summing to kOne.
constexpr int kShift = 14;
constexpr int kOne = 1 << kShift;

struct Taps {
  int first = 0;
  std::vector<int> weights;
};

// For every destination pixel of an axis of `dst` pixels taken from `src`.
std::vector<Taps> AxisTaps(int src, int dst) {
  std::vector<Taps> axis(static_cast<size_t>(dst));
  const double ratio = static_cast<double>(src) / dst;
  const double radius = std::max(1.0, ratio);
  std::vector<double> raw;
  for (int d = 0; d < dst; ++d) {
    // The destination pixel's centre in source coordinates.
    const double centre = (d + 0.5) * ratio - 0.5;
    const int first = static_cast<int>(std::floor(centre - radius)) + 1;
    const int last = static_cast<int>(std::ceil(centre + radius)) - 1;
    raw.clear();
    double sum = 0;
    for (int s = first; s <= last; ++s) {
      const double w = std::max(0.0, 1.0 - std::fabs(s - centre) / radius);
      raw.push_back(w);
      sum += w;
    }
    Taps& taps = axis[static_cast<size_t>(d)];
    taps.first = first;
    int given = 0;
    int heaviest = 0;
    for (size_t i = 0; i < raw.size(); ++i) {
      const int w = sum > 0 ? static_cast<int>(std::lround(raw[i] / sum * kOne)) : 0;
      taps.weights.push_back(w);
      given += w;
      if (w > taps.weights[static_cast<size_t>(heaviest)]) heaviest = static_cast<int>(i);
    }
    // Rounding's remainder to the heaviest tap: a flat area stays flat.
    if (taps.weights.empty()) {
      taps.first = std::clamp(static_cast<int>(std::lround(centre)), 0, src - 1);
      taps.weights.push_back(kOne);
    } else {
      taps.weights[static_cast<size_t>(heaviest)] += kOne - given;
    }
  }
  return axis;
}

uint8_t Channel(uint32_t pixel, int shift) { return static_cast<uint8_t>(pixel >> shift); }

// Resamples one plane of premultiplied pixels.
std::vector<uint32_t> Resample(const std::vector<uint32_t>& pixels, int sw, int sh, int dw, int dh) {
  const std::vector<Taps> columns = AxisTaps(sw, dw);
  const std::vector<Taps> rows = AxisTaps(sh, dh);
  // Pass 1: every source row to the new width, four channels of 8.14
  // fixed point each.
  std::vector<int> wide(static_cast<size_t>(dw) * static_cast<size_t>(sh) * 4);
  for (int y = 0; y < sh; ++y) {
    const uint32_t* row = &pixels[static_cast<size_t>(y) * static_cast<size_t>(sw)];
    int* out = &wide[static_cast<size_t>(y) * static_cast<size_t>(dw) * 4];
    for (int x = 0; x < dw; ++x) {
      const Taps& taps = columns[static_cast<size_t>(x)];
      int b = 0, g = 0, r = 0, a = 0;
      for (size_t i = 0; i < taps.weights.size(); ++i) {
        const uint32_t p = row[std::clamp(taps.first + static_cast<int>(i), 0, sw - 1)];
        const int w = taps.weights[i];
        b += Channel(p, 0) * w;
        g += Channel(p, 8) * w;
        r += Channel(p, 16) * w;
        a += Channel(p, 24) * w;
      }
      out[4 * x] = b;
      out[4 * x + 1] = g;
      out[4 * x + 2] = r;
      out[4 * x + 3] = a;
    }
  }
  // Pass 2: the columns to the new height, rounded back to bytes. A colour
  // never exceeds its alpha (premultiplied).
  std::vector<uint32_t> result(static_cast<size_t>(dw) * static_cast<size_t>(dh));
  std::vector<long long> sums(static_cast<size_t>(dw) * 4);
  for (int y = 0; y < dh; ++y) {
    const Taps& taps = rows[static_cast<size_t>(y)];
    std::fill(sums.begin(), sums.end(), 0);
    for (size_t i = 0; i < taps.weights.size(); ++i) {
      const int sy = std::clamp(taps.first + static_cast<int>(i), 0, sh - 1);
      const int* in = &wide[static_cast<size_t>(sy) * static_cast<size_t>(dw) * 4];
      const long long w = taps.weights[i];
      for (size_t c = 0; c < sums.size(); ++c) sums[c] += in[c] * w;
    }
    uint32_t* out = &result[static_cast<size_t>(y) * static_cast<size_t>(dw)];
    constexpr long long kHalf = 1LL << (2 * kShift - 1);
    for (int x = 0; x < dw; ++x) {
      auto byte = [&](int c) {
        return static_cast<uint32_t>(std::clamp<long long>((sums[4 * x + c] + kHalf) >> (2 * kShift), 0, 255));
      };
      const uint32_t a = byte(3);
      const uint32_t r = std::min(byte(2), a);
      const uint32_t g = std::min(byte(1), a);
      const uint32_t b = std::min(byte(0), a);
      out[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  return result;
}

}  // namespace

std::unique_ptr<ImageEntry> ResampleImage(const ImageEntry& image, int width, int height) {
  const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  if (image.width <= 0 || image.height <= 0 || width <= 0 || height <= 0 || image.pixels.size() != count) {
    return nullptr;
  }
  auto copy = std::make_unique<ImageEntry>();
  copy->width = width;
  copy->height = height;
  copy->alpha = image.alpha;
  copy->color_adjust = image.color_adjust;
  copy->resource_type = image.resource_type;
  copy->mask = image.mask;
  copy->pixels = Resample(image.pixels, image.width, image.height, width, height);
  if (image.original.size() == count)
    copy->original = Resample(image.original, image.width, image.height, width, height);
  return copy;
}

}  // namespace Veneer
