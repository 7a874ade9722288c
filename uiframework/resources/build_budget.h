#pragma once

// What one build of a skin may bring in: documents (the skin itself, its
// includes and child layouts) and bytes: what the build keeps in memory for
// what the skin says (document text and element tables, attribute values,
// default lists, every control created). Real skins use a few dozen
// documents and well under a megabyte; the budget stops hostile archives
// that repeat a document, a default list or a page of controls until
// memory runs out.
//
// Thread affinity: UI thread only; shared by the nested builders of one
// build (and by the child layouts a window builds while it attaches).

#include <cstddef>

namespace Veneer {

class BuildBudget {
 public:
#if defined(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
  // Fuzzing builds run under sanitizers and coverage at a twentieth of the
  // speed: a smaller budget keeps a skin that spends all of it well within
  // the fuzzer's 3 s, also on a loaded machine (4 MiB of controls took
  // 0.8 s of processor time, and past 3 s at a low priority), without
  // changing any code path.
  static constexpr int kMaxDocuments = 256;
  static constexpr size_t kMaxBytes = 1u * 1024 * 1024;
#else
  static constexpr int kMaxDocuments = 4096;
  static constexpr size_t kMaxBytes = 64u * 1024 * 1024;
#endif

  BuildBudget() = default;
  BuildBudget(int documents, size_t bytes) : documents_left_(documents), bytes_left_(bytes) {}

  // False (and the budget exceeded) when no document is left.
  bool TakeDocument() {
    if (documents_left_ <= 0) {
      documents_exceeded_ = true;
      return false;
    }
    --documents_left_;
    return true;
  }
  // False (and the budget exceeded) when fewer than `bytes` are left.
  bool TakeBytes(size_t bytes) {
    if (bytes > bytes_left_) {
      bytes_exceeded_ = true;
      bytes_left_ = 0;
      return false;
    }
    bytes_left_ -= bytes;
    return true;
  }
  bool IsBytesExceeded() const { return bytes_exceeded_; }
  bool IsDocumentsExceeded() const { return documents_exceeded_; }
  int DocumentsLeft() const { return documents_left_; }
  size_t BytesLeft() const { return bytes_left_; }
  void Reset() { *this = BuildBudget(); }

 private:
  int documents_left_ = kMaxDocuments;
  size_t bytes_left_ = kMaxBytes;
  bool documents_exceeded_ = false;
  bool bytes_exceeded_ = false;
};

}  // namespace Veneer
