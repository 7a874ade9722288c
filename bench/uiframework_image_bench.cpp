// Decodes skin images through the loader: a window-sized background as a
// skin holds it, and a decompression bomb (a PNG of about 1 MB that declares
// 16,000 x 16,000 pixels, all zero). Run the bomb alone under
// /usr/bin/time -v to see the peak memory it costs:
//   uiframework_image_bench --benchmark_filter=Bomb

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "uiframework/resources/image_loader.h"

namespace {

void Put32BigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void AppendChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  Put32BigEndian(out, static_cast<uint32_t>(data.size()));
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32BigEndian(out, static_cast<uint32_t>(crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// An 8-bit RGBA PNG whose rows come from `row(y, bytes)` (filter byte first).
template <typename RowFunction>
std::vector<uint8_t> MakePng(uint32_t width, uint32_t height, RowFunction row) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  Put32BigEndian(header, width);
  Put32BigEndian(header, height);
  header.insert(header.end(), {8, 6, 0, 0, 0});
  AppendChunk(png, "IHDR", header);

  z_stream stream{};
  deflateInit(&stream, Z_BEST_COMPRESSION);
  std::vector<uint8_t> line(1 + static_cast<size_t>(width) * 4);
  std::vector<uint8_t> compressed;
  std::vector<uint8_t> buffer(1 << 16);
  for (uint32_t y = 0; y <= height; ++y) {
    bool last = y == height;
    if (!last) row(y, line);
    stream.next_in = last ? nullptr : line.data();
    stream.avail_in = last ? 0 : static_cast<uInt>(line.size());
    do {
      stream.next_out = buffer.data();
      stream.avail_out = static_cast<uInt>(buffer.size());
      deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      compressed.insert(compressed.end(), buffer.data(), buffer.data() + (buffer.size() - stream.avail_out));
    } while (stream.avail_out == 0);
  }
  deflateEnd(&stream);
  AppendChunk(png, "IDAT", compressed);
  AppendChunk(png, "IEND", {});
  return png;
}

const std::vector<uint8_t>& WindowBackground() {
  static const std::vector<uint8_t> png = MakePng(580, 374, [](uint32_t y, std::vector<uint8_t>& line) {
    line[0] = 0;
    for (size_t i = 1; i < line.size(); ++i) line[i] = static_cast<uint8_t>((i * 7 + y * 3) & 0xFF);
  });
  return png;
}

const std::vector<uint8_t>& Bomb() {
  static const std::vector<uint8_t> png =
      MakePng(16000, 16000, [](uint32_t, std::vector<uint8_t>&) {});  // rows stay zero
  return png;
}

void BM_DecodeWindowBackground(benchmark::State& state) {
  const std::vector<uint8_t>& png = WindowBackground();
  for (auto _ : state) {
    auto image = Veneer::DecodeImage(png.data(), png.size(), 0);
    if (!image) state.SkipWithError("the background did not decode");
    benchmark::DoNotOptimize(image);
  }
  state.counters["png_bytes"] = static_cast<double>(png.size());
}
BENCHMARK(BM_DecodeWindowBackground)->Unit(benchmark::kMillisecond);

void BM_DecodeBomb(benchmark::State& state) {
  const std::vector<uint8_t>& png = Bomb();
  for (auto _ : state) {
    auto image = Veneer::DecodeImage(png.data(), png.size(), 0);
    benchmark::DoNotOptimize(image);
    state.counters["decoded"] = image ? 1 : 0;
  }
  state.counters["png_bytes"] = static_cast<double>(png.size());
}
BENCHMARK(BM_DecodeBomb)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
