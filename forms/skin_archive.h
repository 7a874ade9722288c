#pragma once

// Where the program's windows find their skins: the ZIP archive held as
// resource 130 of type "ZIP" in the executable.

namespace forms {

inline constexpr int kSkinArchiveId = 130;

}  // namespace forms
