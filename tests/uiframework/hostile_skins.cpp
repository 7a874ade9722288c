#include "tests/uiframework/hostile_skins.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#endif

#include "tests/uiframework/test_support.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/builder/dialog_builder.h"
#include "uiframework/core/control.h"
#include "uiframework/testing/headless_window.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/testing/recording_render.h"
#include "uiframework/resources/resource_tables.h"
#include "uiframework/resources/skin_resources.h"

namespace Veneer::test {

namespace {

// The program's wizard window.
constexpr UiRect kClient{0, 0, 580, 374};

void AppendBig32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void AppendBig16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void AppendPngChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  AppendBig32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  AppendBig32(out, static_cast<uint32_t>(crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// Scan data bits, most significant first, with a 0x00 after every 0xFF.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
  void Put(uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      byte_ = static_cast<uint8_t>((byte_ << 1) | ((bits >> i) & 1));
      if (++filled_ == 8) Flush();
    }
  }
  // Pads the last byte with one bits.
  void End() {
    while (filled_ != 0) Put(1, 1);
  }

 private:
  void Flush() {
    out_.push_back(byte_);
    if (byte_ == 0xFF) out_.push_back(0x00);
    byte_ = 0;
    filled_ = 0;
  }
  std::vector<uint8_t>& out_;
  uint8_t byte_ = 0;
  int filled_ = 0;
};

void AppendJpegSegment(std::vector<uint8_t>& out, uint8_t marker, const std::vector<uint8_t>& body) {
  out.push_back(0xFF);
  out.push_back(marker);
  AppendBig16(out, static_cast<uint32_t>(body.size() + 2));
  out.insert(out.end(), body.begin(), body.end());
}

// A Huffman table with one code, "0", for `symbol`.
std::vector<uint8_t> OneCodeTable(uint8_t table_class, uint8_t symbol) {
  std::vector<uint8_t> body{static_cast<uint8_t>(table_class << 4), 1};
  body.resize(17, 0);
  body.push_back(symbol);
  return body;
}

std::string Repeat(const std::string& piece, int count) {
  std::string out;
  out.reserve(piece.size() * static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) out += piece;
  return out;
}

// Process-wide skin settings for one case, cleared again at its end.
class ArchiveScope {
 public:
  explicit ArchiveScope(const std::vector<ZipSpec>& entries) : zip_(BuildZip(entries)) {
    CSkinResourcesUI::Reset();
    CResourceTablesUI::Shared().Clear();
    CSkinResourcesUI::SetResourceZip(zip_.bytes.data(), zip_.bytes.size());
  }
  ~ArchiveScope() {
    CResourceTablesUI::Shared().Clear();
    CSkinResourcesUI::Reset();
  }
  size_t Bytes() const { return zip_.bytes.size(); }

 private:
  ZipImage zip_;
};

// A skinned window without a platform, as the program's windows build
// theirs: the whole skin (child layouts included) from one build budget.
struct Window {
  explicit Window(int dpi = DpiScale::kBaseDpi) : render(kClient) {
    host.AttachNativeWindow(&native);
    host.SetRender(&render);
    host.SetDpi(dpi);
  }
  bool Build(const wchar_t* skin, bool lift_budget) {
    CDialogBuilder builder;
    if (lift_budget) {
      host.GetBuildBudget() = BuildBudget(BuildBudget::kMaxDocuments, SIZE_MAX / 4);
      builder.SetBudget(&host.GetBuildBudget());
    }
    CControlUI* root = builder.Create(skin, nullptr, nullptr, &host);
    if (root == nullptr) return false;
    host.AttachDialog(root);
    if (lift_budget) host.GetBuildBudget() = BuildBudget(BuildBudget::kMaxDocuments, SIZE_MAX / 4);
    return true;
  }
  void Paint() {
    render.Clear();
    host.Layout();
    host.Paint(kClient);
  }
  size_t LongestText() const {
    size_t longest = 0;
    for (const RenderCall& call : render.Calls()) {
      if (call.op == RenderCall::kText) longest = std::max(longest, call.text.size());
    }
    return longest;
  }
  const RenderCall* FirstImage() const {
    for (const RenderCall& call : render.Calls()) {
      if (call.op == RenderCall::kImage) return &call;
    }
    return nullptr;
  }

  CHeadlessWindowUI native{kClient};
  CRecordingRender render;
  CPaintHostUI host;
};

// The time from its making to its end (the inputs are made before).
class Stopwatch {
 public:
  explicit Stopwatch(double* ms) : ms_(ms), start_(std::chrono::steady_clock::now()) {}
  ~Stopwatch() { *ms_ += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count(); }

 private:
  double* ms_;
  std::chrono::steady_clock::time_point start_;
};

// Builds `main.xml` of the archive into one window (at `dpi`), paints it,
// tears it down.
HostileOutcome BuildOne(const std::vector<ZipSpec>& entries, bool lift_budget, int dpi = DpiScale::kBaseDpi) {
  ArchiveScope archive(entries);
  HostileOutcome outcome;
  {
    Stopwatch stopwatch(&outcome.ms);
    Window window(dpi);
    outcome.built = window.Build(L"main.xml", lift_budget);
    if (outcome.built) window.Paint();
    outcome.detail = "archive " + std::to_string(archive.Bytes()) + " bytes";
    if (outcome.built) {
      outcome.detail += ", window images " + std::to_string(window.host.GetResources().GetImageBytes()) + " bytes";
    }
  }
  return outcome;
}

// 1. A page of 100,000 empty controls included 4,096 times.
HostileOutcome ControlsIncluded(bool lift_budget) {
  return BuildOne(
      {{"page.xml", "<root>" + Repeat("<Control/>", 100000) + "</root>"},
       {"main.xml", "<Window><VerticalLayout><Include source=\"page.xml\" count=\"4096\"/></VerticalLayout></Window>"}},
      lift_budget);
}

// 2. One 64 KiB language string and a label of 100,000 tokens naming it.
HostileOutcome TokensAtPaint(bool lift_budget) {
  ArchiveScope archive({{"main.xml", "<Window><MultiLanguage id=\"1\" value=\"" + std::string(65536, 'x') +
                                         "\"/><VerticalLayout><Label text=\"" + Repeat("%{1}", 100000) +
                                         "\"/></VerticalLayout></Window>"}});
  HostileOutcome outcome;
  Stopwatch stopwatch(&outcome.ms);
  Window window;
  outcome.built = window.Build(L"main.xml", lift_budget);
  if (outcome.built) window.Paint();
  // Replacing tokens never makes a text longer than the bound or itself.
  outcome.sound = window.LongestText() <= std::max<size_t>(400000, CResourceTablesUI::kMaxExpandedChars);
  outcome.detail = "archive " + std::to_string(archive.Bytes()) + " bytes, longest text drawn " +
                   std::to_string(window.LongestText()) + " characters";
  return outcome;
}

// 3. Window A paints a shared image; window B's skin declares an image of
// that shared name (another mask); A paints again.
HostileOutcome SharedImageReplaced(bool lift_budget) {
  const std::vector<uint8_t> png = FlatPng(64, 64);
  ArchiveScope archive({{"a.png", std::string(png.begin(), png.end())},
                        {"a.xml",
                         "<Window><Image name=\"a.png\" shared=\"true\"/>"
                         "<VerticalLayout><Control bkimage=\"a.png\"/></VerticalLayout></Window>"},
                        {"b.xml",
                         "<Window><Image name=\"a.png\" shared=\"true\" mask=\"#FF3366CC\"/>"
                         "<VerticalLayout><Control bkimage=\"a.png\"/></VerticalLayout></Window>"}});
  HostileOutcome outcome;
  Stopwatch stopwatch(&outcome.ms);
  Window a;
  outcome.built = a.Build(L"a.xml", lift_budget);
  if (!outcome.built) return outcome;
  a.Paint();
  const RenderCall* first = a.FirstImage();
  const uint64_t serial = first != nullptr ? first->image_serial : 0;
  {
    Window b;
    outcome.built = b.Build(L"b.xml", lift_budget);
    if (outcome.built) b.Paint();
  }
  a.Paint();
  const RenderCall* again = a.FirstImage();
  outcome.sound = first != nullptr && again != nullptr && again->image_serial == serial && again->image_width == 64 &&
                  again->image_height == 64;
  outcome.detail = outcome.sound ? "window A still draws its image" : "window A's image changed under it";
  return outcome;
}

// 4a. 2,000 Image elements naming one 4096 x 4096 PNG.
HostileOutcome ImageElements(bool lift_budget) {
  const std::vector<uint8_t> png = FlatPng(4096, 4096);
  return BuildOne({{"big.png", std::string(png.begin(), png.end())},
                   {"main.xml", "<Window>" + Repeat("<Image name=\"big.png\"/>", 2000) +
                                    "<VerticalLayout><Control bkimage=\"big.png\"/></VerticalLayout></Window>"}},
                  lift_budget);
}

// 4d. A window at 480 DPI paints the 4096 x 4096 PNG (a copy for that DPI
// would have 400 million pixels: it is drawn stretched) and a 16 x 16 one
// whose "@2x" variant is 4096 x 4096 (decoded within the limits, reduced
// to 80 x 80).
HostileOutcome ImageAtHighDpi(bool lift_budget) {
  const std::vector<uint8_t> big = FlatPng(4096, 4096);
  const std::vector<uint8_t> small = FlatPng(16, 16);
  return BuildOne({{"big.png", std::string(big.begin(), big.end())},
                   {"small.png", std::string(small.begin(), small.end())},
                   {"small@2x.png", std::string(big.begin(), big.end())},
                   {"main.xml",
                    "<Window><VerticalLayout><Control bkimage=\"big.png\"/><Control bkimage=\"small.png\"/>"
                    "</VerticalLayout></Window>"}},
                  lift_budget, DpiScale::kMaxDpi);
}

// The spellings of `name` in every letter case (64 for "big.png").
std::vector<std::string> LetterCases(const std::string& name) {
  int letters = 0;
  for (char c : name) letters += c >= 'a' && c <= 'z' ? 1 : 0;
  std::vector<std::string> spellings;
  for (int variant = 0; variant < (1 << letters); ++variant) {
    std::string spelled = name;
    int bit = 0;
    for (char& c : spelled) {
      if (c >= 'a' && c <= 'z' && ((variant >> bit++) & 1) != 0) c = static_cast<char>(c - 'a' + 'A');
    }
    spellings.push_back(spelled);
  }
  return spellings;
}

// 4b. The 64 letter-case variants of one entry name, each an image of its
// own (the archive finds the entry whatever the case).
HostileOutcome ImageCaseVariants(bool lift_budget) {
  const std::vector<uint8_t> png = FlatPng(4096, 4096);
  std::string images;
  for (const std::string& spelled : LetterCases("big.png")) images += "<Image name=\"" + spelled + "\"/>";
  return BuildOne({{"big.png", std::string(png.begin(), png.end())},
                   {"main.xml", "<Window>" + images + "<VerticalLayout/></Window>"}},
                  lift_budget);
}

// 4c. The same, each spelling with a mask of its own: as many decodes as
// the table holds (four), the rest refused from the header.
HostileOutcome ImageMasks(bool lift_budget) {
  const std::vector<uint8_t> png = FlatPng(4096, 4096);
  std::string images;
  int mask = 0;
  for (const std::string& spelled : LetterCases("big.png")) {
    images += "<Image name=\"" + spelled + "\" mask=\"#FF0000" + std::to_string(10 + mask++) + "\"/>";
  }
  return BuildOne({{"big.png", std::string(png.begin(), png.end())},
                   {"main.xml", "<Window>" + images + "<VerticalLayout/></Window>"}},
                  lift_budget);
}

// 5. A progressive 4096 x 4096 JPEG of 10,000 scans of end-of-band runs.
HostileOutcome JpegScans(bool lift_budget) {
  const std::vector<uint8_t> jpeg = EobRunJpeg(4096, 4096, 10000);
  return BuildOne({{"bomb.jpg", std::string(jpeg.begin(), jpeg.end())},
                   {"main.xml", "<Window><Image name=\"bomb.jpg\"/><VerticalLayout/></Window>"}},
                  lift_budget);
}

// 6a. 100,000 options in one group; 6b. 100,000 options, each in a group
// of its own.
HostileOutcome OptionsOneGroup(bool lift_budget) {
  return BuildOne({{"main.xml", "<Window><VerticalLayout>" + Repeat("<Option group=\"g\"/>", 100000) +
                                    "</VerticalLayout></Window>"}},
                  lift_budget);
}

HostileOutcome OptionsOwnGroups(bool lift_budget) {
  std::string options;
  for (int i = 0; i < 100000; ++i) options += "<Option group=\"g" + std::to_string(i) + "\"/>";
  return BuildOne({{"main.xml", "<Window><VerticalLayout>" + options + "</VerticalLayout></Window>"}}, lift_budget);
}

// 7. 25,000 tab layouts, each selecting its second page, in a child layout
// beside 25,000 controls.
HostileOutcome TabLayouts(bool lift_budget) {
  return BuildOne(
      {{"tabs.xml", "<root><VerticalLayout>" +
                        Repeat("<TabLayout selectedid=\"1\"><Control/><Control/></TabLayout>", 25000) +
                        "</VerticalLayout></root>"},
       {"main.xml", "<Window><HorizontalLayout><VerticalLayout>" + Repeat("<Control/>", 25000) +
                        "</VerticalLayout><ChildLayout xmlfile=\"tabs.xml\"/></HorizontalLayout></Window>"}},
      lift_budget);
}

#if !defined(_WIN32)
// 8. An image named by the path of a named pipe that nobody writes to. A
// helper stands by as the writer, so that a build that opens the pipe
// is let go again (and the case can tell).
HostileOutcome PipeImage(bool lift_budget) {
  ScratchDir dir;
  const std::filesystem::path pipe = dir.path() / "pipe.png";
  mkfifo(pipe.c_str(), 0600);
  std::atomic<bool> done{false};
  std::atomic<bool> opened{false};
  std::thread writer([&] {
    while (!done) {
      int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) {
        opened = true;
        close(fd);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  HostileOutcome outcome = BuildOne(
      {{"main.xml", "<Window><Image name=\"" + pipe.string() + "\"/><VerticalLayout/></Window>"}}, lift_budget);
  done = true;
  writer.join();
  outcome.sound = !opened;
  outcome.detail += opened ? ", the pipe was opened" : ", the pipe was never opened";
  return outcome;
}
#endif

}  // namespace

std::vector<uint8_t> FlatPng(int width, int height, uint32_t rgba) {
  std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  AppendBig32(header, static_cast<uint32_t>(width));
  AppendBig32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA
  AppendPngChunk(png, "IHDR", header);
  // One row at a time through deflate, so that the pixels are never all
  // in memory at once.
  std::vector<uint8_t> row(1 + static_cast<size_t>(width) * 4);
  for (size_t i = 1; i < row.size(); ++i) row[i] = static_cast<uint8_t>(rgba >> (8 * (3 - (i - 1) % 4)));
  std::vector<uint8_t> compressed;
  z_stream stream{};
  deflateInit(&stream, Z_BEST_COMPRESSION);
  std::vector<uint8_t> buffer(64 * 1024);
  for (int y = 0; y <= height; ++y) {
    const bool last = y == height;
    stream.next_in = last ? nullptr : row.data();
    stream.avail_in = last ? 0 : static_cast<uInt>(row.size());
    do {
      stream.next_out = buffer.data();
      stream.avail_out = static_cast<uInt>(buffer.size());
      deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      compressed.insert(compressed.end(), buffer.data(), buffer.data() + (buffer.size() - stream.avail_out));
    } while (stream.avail_out == 0);
  }
  deflateEnd(&stream);
  AppendPngChunk(png, "IDAT", compressed);
  AppendPngChunk(png, "IEND", {});
  return png;
}

std::vector<uint8_t> EobRunJpeg(int width, int height, int ac_scans) {
  std::vector<uint8_t> out{0xFF, 0xD8};
  std::vector<uint8_t> quant{0x00};
  quant.resize(65, 1);
  AppendJpegSegment(out, 0xDB, quant);
  std::vector<uint8_t> frame{8};
  AppendBig16(frame, static_cast<uint32_t>(height));
  AppendBig16(frame, static_cast<uint32_t>(width));
  frame.insert(frame.end(), {1, 1, 0x11, 0});  // one component, 1 x 1 sampling
  AppendJpegSegment(out, 0xC2, frame);         // progressive
  AppendJpegSegment(out, 0xC4, OneCodeTable(0, 0x00));
  AppendJpegSegment(out, 0xC4, OneCodeTable(1, 0xE0));  // end-of-band run with 14 more bits
  const long long blocks = ((width + 7LL) / 8) * ((height + 7LL) / 8);
  // The DC scan: a difference of 0 for every block, one bit each.
  AppendJpegSegment(out, 0xDA, {1, 1, 0x00, 0, 0, 0x00});
  {
    BitWriter bits(out);
    for (long long i = 0; i < blocks; ++i) bits.Put(0, 1);
    bits.End();
  }
  for (int scan = 0; scan < ac_scans; ++scan) {
    AppendJpegSegment(out, 0xDA, {1, 1, 0x00, 1, 63, 0x00});
    BitWriter bits(out);
    for (long long left = blocks; left > 0;) {
      // The table's one symbol is a run of 2^14 plus 14 more bits; a run
      // longer than what is left of the band just ends it.
      const long long run = std::clamp(left, 1LL << 14, 32767LL);
      bits.Put(0, 1);
      bits.Put(static_cast<uint32_t>(run - (1 << 14)), 14);
      left -= run;
    }
    bits.End();
  }
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

const std::vector<HostileSkin>& HostileSkins() {
  static const std::vector<HostileSkin> skins = {
    {"controls_included", "a page of 100,000 empty controls included 4,096 times", &ControlsIncluded},
    {"tokens_at_paint", "a label of 100,000 tokens naming one 64 KiB language string", &TokensAtPaint},
    {"shared_image_replaced", "a second window declares a shared image the first one draws", &SharedImageReplaced},
    {"image_elements", "2,000 Image elements naming one 4096 x 4096 PNG", &ImageElements},
    {"image_case_variants", "the 64 letter-case variants of one 4096 x 4096 PNG's name", &ImageCaseVariants},
    {"image_masks", "the 64 letter-case variants, each with a mask of its own", &ImageMasks},
    {"image_at_high_dpi", "a 4096 x 4096 PNG and a 4096 x 4096 \"@2x\" of a 16 x 16 one at 480 DPI", &ImageAtHighDpi},
    {"jpeg_scans", "a progressive 4096 x 4096 JPEG of 10,000 end-of-band scans", &JpegScans},
    {"options_one_group", "100,000 options in one group", &OptionsOneGroup},
    {"options_own_groups", "100,000 options, each in a group of its own", &OptionsOwnGroups},
    {"tab_layouts", "25,000 tab layouts in a child layout beside 25,000 controls", &TabLayouts},
#if !defined(_WIN32)
    {"pipe_image", "an image named by the path of a named pipe", &PipeImage},
#endif
  };
  return skins;
}

const HostileSkin* FindHostileSkin(const std::string& name) {
  for (const HostileSkin& skin : HostileSkins()) {
    if (name == skin.name) return &skin;
  }
  return nullptr;
}

}  // namespace Veneer::test
