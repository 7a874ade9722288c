#pragma once

// How a window builds the skin files of its child layouts (containers whose
// content is another skin file, built when the container is initialised in
// the window). The builder implements it; the host keeps the window's
// loader, so that a child layout builds with the window's own control
// classes while core knows nothing of the builder.
// Thread affinity: UI thread only.

namespace Veneer {

class CControlUI;
class CPaintHostUI;

class IChildLayoutLoaderUI {
 public:
  // Builds skin file `file` for a child layout of `host`'s tree (null: no
  // window) whose nesting already counts `depth` levels, going on with the
  // host's build budget. The file's first top-level control, which the
  // caller owns, or null (logged) when it could not be built.
  virtual CControlUI* LoadChildLayout(const wchar_t* file, int depth, CPaintHostUI* host) = 0;

 protected:
  ~IChildLayoutLoaderUI() = default;
};

}  // namespace Veneer
