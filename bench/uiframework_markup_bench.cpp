// Parses a generated skin of about 1 MB with the skin markup parser and the
// same bytes with pugixml, and prints the throughput of each and their ratio.
//
// The skin parser's figure includes the UTF-8 to wide-character conversion
// it always does; pugixml parses the UTF-8 bytes as they are.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include <pugixml.hpp>

#include "uiframework/markup/markup_doc.h"

namespace {

// A skin in the program's style: nested layouts, labels with Chinese text,
// image descriptors, entities and comments, repeated to about `bytes`.
const std::string& GeneratedSkin() {
  static const std::string skin = [] {
    const size_t target = 1024 * 1024;
    std::string text =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<Window size=\"580,374\" caption=\"0,0,0,30\" roundcorner=\"4,4\" mininfo=\"580,374\">\n"
        "  <Font id=\"0\" name=\"\xe5\xbe\xae\xe8\xbd\xaf\xe9\x9b\x85\xe9\xbb\x91\" size=\"12\" default=\"true\"/>\n"
        "  <Default name=\"Button\" value=\"height=&quot;30&quot; width=&quot;100&quot;\"/>\n"
        "  <VerticalLayout bkcolor=\"#FFFFFFFF\">\n";
    for (int i = 0; text.size() < target; ++i) {
      std::string n = std::to_string(i);
      text += "    <!-- page " + n +
              " -->\n"
              "    <HorizontalLayout name=\"row_" +
              n +
              "\" height=\"30\" inset=\"12,5,0,0\" childpadding=\"4\">\n"
              "      <Label name=\"lb_title_" +
              n + "\" text=\"\xe4\xbf\xae\xe5\xa4\x8d\xe5\xb7\xa5\xe5\x85\xb7 " + n +
              "\" padding=\"6,7,0,0\" height=\"12\" textcolor=\"#FF333333\"/>\n"
              "      <Button name=\"bt_close_" +
              n +
              "\" float=\"true\" pos=\"548,8,568,28\""
              " normalimage=\"file='skin\\close.png' source='0,0,20,20'\" hotimage=\"file='skin\\close.png'"
              " source='20,0,40,20'\" tooltip=\"Close &amp; exit\"/>\n"
              "      <Text text=\"Line one &lt;b&gt;\">inner text " +
              n +
              "</Text>\n"
              "    </HorizontalLayout>\n";
    }
    text += "  </VerticalLayout>\n</Window>\n";
    return text;
  }();
  return skin;
}

void BM_SkinMarkupParse(benchmark::State& state) {
  const std::string& skin = GeneratedSkin();
  for (auto _ : state) {
    Veneer::CMarkupDoc doc;
    bool ok = doc.LoadFromMem(reinterpret_cast<const uint8_t*>(skin.data()), skin.size());
    benchmark::DoNotOptimize(ok);
    if (!ok) state.SkipWithError("skin parse failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(skin.size()));
}
BENCHMARK(BM_SkinMarkupParse)->Unit(benchmark::kMillisecond);

void BM_PugixmlParse(benchmark::State& state) {
  const std::string& skin = GeneratedSkin();
  for (auto _ : state) {
    pugi::xml_document doc;
    pugi::xml_parse_result result = doc.load_buffer(skin.data(), skin.size());
    benchmark::DoNotOptimize(result);
    if (!result) state.SkipWithError("pugixml parse failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(skin.size()));
}
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);

// The console output plus a summary line with MB/s and the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto it = run.counters.find("bytes_per_second");
      if (run.run_type == Run::RT_Iteration && it != run.counters.end()) {
        rates_[run.run_name.function_name] = it->second.value / 1e6;
      }
    }
  }
  void PrintSummary() const {
    auto skin = rates_.find("BM_SkinMarkupParse");
    auto pugi = rates_.find("BM_PugixmlParse");
    if (skin == rates_.end() || pugi == rates_.end() || skin->second <= 0) return;
    std::printf(
        "skin size %zu bytes\nskin markup parser: %.1f MB/s\npugixml:            %.1f MB/s\n"
        "pugixml / skin parser time ratio: %.2f (goal: at most 1.5)\n",
        GeneratedSkin().size(), skin->second, pugi->second, pugi->second / skin->second);
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
