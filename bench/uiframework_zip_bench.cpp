// Entry lookup in the largest archive the format's plain directory holds:
// 65,535 entries, each looked up once by a name written as a skin writes it
// (backslashes, other letter case). Also the cost of opening that archive.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "uiframework/resources/zip_archive.h"

namespace {

constexpr int kEntries = 65535;

void Append16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Append32(std::vector<uint8_t>& out, uint32_t value) {
  Append16(out, value & 0xFFFF);
  Append16(out, value >> 16);
}

std::string EntryName(int i) {
  char name[64];
  std::snprintf(name, sizeof name, "skin/page%03d/Image_%05d.png", i % 256, i);
  return name;
}

// Empty stored entries: the lookup, not the extraction, is measured.
const std::vector<uint8_t>& LargeArchive() {
  static const std::vector<uint8_t> zip = [] {
    std::vector<uint8_t> out;
    std::vector<uint32_t> offsets;
    for (int i = 0; i < kEntries; ++i) {
      std::string name = EntryName(i);
      offsets.push_back(static_cast<uint32_t>(out.size()));
      Append32(out, 0x04034b50);
      for (uint32_t field : {20u, 0u, 0u, 0u, 0u}) Append16(out, field);
      for (int k = 0; k < 3; ++k) Append32(out, 0);
      Append16(out, static_cast<uint32_t>(name.size()));
      Append16(out, 0);
      out.insert(out.end(), name.begin(), name.end());
    }
    uint32_t directory = static_cast<uint32_t>(out.size());
    for (int i = 0; i < kEntries; ++i) {
      std::string name = EntryName(i);
      Append32(out, 0x02014b50);
      for (uint32_t field : {20u, 20u, 0u, 0u, 0u, 0u}) Append16(out, field);
      for (int k = 0; k < 3; ++k) Append32(out, 0);
      Append16(out, static_cast<uint32_t>(name.size()));
      for (int k = 0; k < 4; ++k) Append16(out, 0);
      Append32(out, 0);
      Append32(out, offsets[i]);
      out.insert(out.end(), name.begin(), name.end());
    }
    uint32_t directory_size = static_cast<uint32_t>(out.size()) - directory;
    Append32(out, 0x06054b50);
    for (uint32_t field : {0u, 0u, static_cast<uint32_t>(kEntries), static_cast<uint32_t>(kEntries)}) {
      Append16(out, field);
    }
    Append32(out, directory_size);
    Append32(out, directory);
    Append16(out, 0);
    return out;
  }();
  return zip;
}

std::vector<std::wstring> LookupNames() {
  std::vector<std::wstring> names;
  for (int i = 0; i < kEntries; ++i) {
    wchar_t name[64];
    std::swprintf(name, 64, L"SKIN\\Page%03d\\image_%05d.PNG", i % 256, i);
    names.push_back(name);
  }
  return names;
}

void BM_Open65535(benchmark::State& state) {
  const std::vector<uint8_t>& zip = LargeArchive();
  for (auto _ : state) {
    auto archive = Veneer::CZipArchive::OpenMemory(zip.data(), zip.size());
    if (!archive || archive->GetEntryCount() != kEntries) state.SkipWithError("archive did not open");
    benchmark::DoNotOptimize(archive);
  }
}
BENCHMARK(BM_Open65535)->Unit(benchmark::kMillisecond);

void BM_Find65535Times(benchmark::State& state) {
  const std::vector<uint8_t>& zip = LargeArchive();
  auto archive = Veneer::CZipArchive::OpenMemory(zip.data(), zip.size());
  const std::vector<std::wstring> names = LookupNames();
  for (auto _ : state) {
    int found = 0;
    for (const std::wstring& name : names) {
      int index = -1;
      if (archive->Find(name.c_str(), &index, nullptr) && index == found) ++found;
    }
    if (found != kEntries) state.SkipWithError("a lookup failed");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kEntries);
}
BENCHMARK(BM_Find65535Times)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
