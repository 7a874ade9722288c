#pragma once

// The process-wide skin resource settings: where skin files and images come
// from. Either a folder (resource path), a ZIP archive file inside that
// folder, or a ZIP archive held in memory ("membuffer", normally taken from
// the program's own resources). With caching on (the default) the archive
// is opened once and its handle kept for the life of the process.
//
// Thread affinity: UI thread only; the first window sets these up.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "uiframework/base/platform_hooks.h"
#include "uiframework/markup/markup_doc.h"
#include "uiframework/resources/zip_archive.h"

namespace Veneer {

enum class FetchStatus {
  kOk,
  kOpenFailed,     // "Error opening file"
  kEmpty,          // "File is empty"
  kTooLarge,       // "File too large"
  kReadFailed,     // "Could not read file"
  kZipOpenFailed,  // "Error opening zip file"
  kNotInZip,       // "Could not find ziped file"
  kUnzipFailed,    // "Could not unzip file"
};

// The message a document keeps for a failed fetch ("" for kOk).
const wchar_t* FetchStatusMessage(FetchStatus status);

class CSkinResourcesUI {
 public:
  static constexpr const wchar_t* kMemoryZipName = L"membuffer";

  static void SetInstance(ModuleHandle instance);
  static ModuleHandle GetInstance();
  // A separate module holding the resources; null to use the program's.
  static void SetResourceInstance(ModuleHandle instance);
  // The separate resource module if set, else the program's.
  static ModuleHandle GetResourceInstance();
  // The folder of the program's file, up to and including its last
  // separator; empty when unknown.
  static std::wstring GetInstancePath();

  // A non-empty path always ends in a separator ("\" is appended unless it
  // ends in "\" or "/").
  static void SetResourcePath(const wchar_t* path);
  static const std::wstring& GetResourcePath();

  // An archive file at resource path + name. Nothing happens when name and
  // cached flag are unchanged.
  static void SetResourceZip(const wchar_t* name, bool cached = true);
  // An archive over bytes that must outlive the process's use of it.
  // Nothing happens once an archive in memory is set.
  static void SetResourceZip(const uint8_t* data, size_t size);
  // Copies resource `id` of `type` from the resource instance into a buffer
  // kept for the life of the process and sets it as the archive in memory.
  static bool SetResourceZipFromResource(uint32_t id, const wchar_t* type);

  static const std::wstring& GetResourceZip();
  static bool IsCachedResourceZip();
  static CZipArchive* GetResourceZipHandle();

  // The bytes of a skin file by name: from the folder when no archive is
  // set, else from the archive entry of that name. At most max_bytes. A
  // failure is logged unless `quiet` (a file that may or may not be there).
  static FetchStatus FetchFile(const wchar_t* name, size_t max_bytes, std::vector<uint8_t>* out, bool quiet = false);
  // The bytes of the regular file of that name below the resource folder,
  // whether or not an archive is set (images not in the archive).
  static FetchStatus FetchFolderFile(const wchar_t* name, size_t max_bytes, std::vector<uint8_t>* out,
                                     bool quiet = false);
  // True for a name that a skin may use to reach a file in its folder: a
  // relative path without ".." parts, drive, stream or device names; never a
  // network (UNC) or device path, on either build.
  static bool IsSkinFileName(const wchar_t* name);

  // Fetches a skin document by name (at most CMarkupDoc::kMaxFileBytes) and
  // parses it. A failed fetch leaves its message in the document ("Error
  // opening file", "Could not find ziped file", ...).
  static bool LoadDocument(CMarkupDoc* doc, const wchar_t* name, int encoding = CMarkupDoc::kUtf8);

  // Back to the initial settings, closing a kept archive (tests, shutdown).
  static void Reset();
};

}  // namespace Veneer
