#pragma once

// The journal of changes as a file in the machine's common application-data
// folder (C:\ProgramData\DEzed Repair\repair-journal.txt on a usual
// system): per machine, kept across restarts, whatever the current folder.

#include <string>

#include "repair/system_seams.h"

namespace repair {

class WinJournalStore : public JournalStore {
 public:
  // The product's place; a test passes a folder of its own.
  WinJournalStore();
  explicit WinJournalStore(std::wstring folder);

  std::wstring Location() override { return path_; }
  JournalRead Read(std::string* bytes) override;
  bool Write(const std::string& bytes) override;
  bool Remove() override;
  bool SetAside(const char* suffix) override;

 private:
  // Creates the folder (administrators and the system may write in it,
  // users only read) when it does not exist.
  bool MakeFolder();

  std::wstring folder_;
  std::wstring path_;
};

}  // namespace repair
