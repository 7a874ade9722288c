#pragma once

// Resampling a decoded image to another size, for pictures drawn at a DPI
// the skin has no variant for: done once per size, then cached by the
// image table.
// Thread affinity: any thread (no shared state).

#include <memory>

#include "uiframework/resources/image_loader.h"

namespace Veneer {

// A copy of `image` at `width` x `height` pixels (the copy of the pixels
// kept for colour adjustment too). Each pixel is a weighted mean of the
// source pixels it covers under a tent filter as wide as a source pixel or
// as a destination pixel, whichever is wider: bilinear when enlarging, an
// area mean when reducing; the edges repeat. Premultiplied pixels are
// averaged as they are, so colours never bleed out of transparent parts.
// The copy's dpi, serial and bookkeeping are the caller's. Null for an
// empty source or size.
std::unique_ptr<ImageEntry> ResampleImage(const ImageEntry& image, int width, int height);

}  // namespace Veneer
