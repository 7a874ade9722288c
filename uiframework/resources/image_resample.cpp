#include "uiframework/resources/image_resample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Veneer {

namespace {

// The weights of every destination pixel of one axis: `taps` source
// pixels each, their indices (edges repeated) and weights summing to 1.
struct AxisWeights {
  int taps = 0;
  std::vector<int> index;     // destination pixel d: index[d * taps + k]
  std::vector<float> weight;  // the same layout
};

AxisWeights Weigh(int src, int dst) {
  AxisWeights axis;
  const double ratio = static_cast<double>(src) / dst;
  const double radius = std::max(1.0, ratio);
  // Every source pixel closer than the radius to a destination pixel's
  // centre: at most ceil(2 * radius) of them.
  axis.taps = static_cast<int>(std::ceil(2 * radius));
  axis.index.assign(static_cast<size_t>(dst) * axis.taps, 0);
  axis.weight.assign(static_cast<size_t>(dst) * axis.taps, 0.0f);
  for (int d = 0; d < dst; ++d) {
    // The destination pixel's centre in source coordinates.
    const double centre = (d + 0.5) * ratio - 0.5;
    const int first = static_cast<int>(std::floor(centre - radius)) + 1;
    double sum = 0;
    for (int k = 0; k < axis.taps; ++k) sum += std::max(0.0, 1.0 - std::fabs(first + k - centre) / radius);
    for (int k = 0; k < axis.taps; ++k) {
      const size_t at = static_cast<size_t>(d) * axis.taps + k;
      axis.index[at] = std::clamp(first + k, 0, src - 1);
      const double w = std::max(0.0, 1.0 - std::fabs(first + k - centre) / radius);
      axis.weight[at] = static_cast<float>(sum > 0 ? w / sum : (k == 0 ? 1.0 : 0.0));
    }
  }
  return axis;
}

// Resamples one plane of premultiplied pixels: each destination row from
// the source rows under it, each of those resampled along x once, into a
// ring of the last few (a destination row's source rows follow on from the
// previous one's).
std::vector<uint32_t> Resample(const std::vector<uint32_t>& pixels, int sw, int sh, int dw, int dh) {
  const AxisWeights columns = Weigh(sw, dw);
  const AxisWeights rows = Weigh(sh, dh);
  const size_t wide_row = static_cast<size_t>(dw) * 4;
  const int slots = rows.taps + 1;
  std::vector<float> ring(wide_row * static_cast<size_t>(slots));
  std::vector<int> ring_rows(static_cast<size_t>(slots), -1);
  std::vector<float> source(static_cast<size_t>(sw) * 4);
  auto wide = [&](int y) -> const float* {
    float* out = &ring[static_cast<size_t>(y % slots) * wide_row];
    if (ring_rows[static_cast<size_t>(y % slots)] == y) return out;
    ring_rows[static_cast<size_t>(y % slots)] = y;
    const uint32_t* in = &pixels[static_cast<size_t>(y) * static_cast<size_t>(sw)];
    for (int x = 0; x < sw; ++x) {
      for (int c = 0; c < 4; ++c)
        source[4 * static_cast<size_t>(x) + c] = static_cast<float>((in[x] >> (8 * c)) & 0xFF);
    }
    for (int x = 0; x < dw; ++x) {
      float sum[4] = {0, 0, 0, 0};
      const size_t at = static_cast<size_t>(x) * columns.taps;
      for (int k = 0; k < columns.taps; ++k) {
        const float* p = &source[4 * static_cast<size_t>(columns.index[at + k])];
        const float w = columns.weight[at + k];
        for (int c = 0; c < 4; ++c) sum[c] += w * p[c];
      }
      for (int c = 0; c < 4; ++c) out[4 * x + c] = sum[c];
    }
    return out;
  };
  std::vector<uint32_t> result(static_cast<size_t>(dw) * static_cast<size_t>(dh));
  std::vector<float> sums(wide_row);
  for (int y = 0; y < dh; ++y) {
    std::fill(sums.begin(), sums.end(), 0.0f);
    const size_t at = static_cast<size_t>(y) * rows.taps;
    for (int k = 0; k < rows.taps; ++k) {
      const float w = rows.weight[at + k];
      if (w == 0) continue;
      const float* in = wide(rows.index[at + k]);
      for (size_t c = 0; c < wide_row; ++c) sums[c] += w * in[c];
    }
    // Back to bytes; a premultiplied colour never exceeds its alpha.
    uint32_t* out = &result[static_cast<size_t>(y) * static_cast<size_t>(dw)];
    for (int x = 0; x < dw; ++x) {
      auto byte = [&](int c) { return static_cast<uint32_t>(std::clamp(sums[4 * x + c] + 0.5f, 0.0f, 255.0f)); };
      const uint32_t a = byte(3);
      out[x] = (a << 24) | (std::min(byte(2), a) << 16) | (std::min(byte(1), a) << 8) | std::min(byte(0), a);
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
  copy->opaque = image.opaque;  // a mean of opaque pixels is opaque
  copy->color_adjust = image.color_adjust;
  copy->resource_type = image.resource_type;
  copy->mask = image.mask;
  copy->pixels = Resample(image.pixels, image.width, image.height, width, height);
  if (image.original.size() == count)
    copy->original = Resample(image.original, image.width, image.height, width, height);
  return copy;
}

}  // namespace Veneer
