#pragma once

#include <string>

namespace basekit {

// Sets out to the text after the last "\\" or "/" of path. The scan runs
// from the last character down to the second (the first is never a
// separator here). False, and out unchanged, when there is no separator or
// it is the last character.
bool ExtractFileName(const char* path, std::string& out);

// out = path up to and including its last separator, followed by name.
// False when path has no separator (an empty path included).
bool ComposeFilePath(std::string& out, const char* path, const char* name);

}  // namespace basekit
