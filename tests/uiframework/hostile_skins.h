#pragma once

// Hostile skins: small archives that ask the framework for far more than
// they are (memory, decoding work, quadratic walks, blocking reads). Each
// is made here at run time from its description and built the way a
// window builds its skin: a host over a headless window, the tree attached,
// laid out and painted into the recording backend. The tests run them and
// so does the measuring program (hostile_run.cpp), one per process.

#include <cstdint>
#include <string>
#include <vector>

namespace Veneer::test {

// A width x height PNG of one colour: a few KB however large it is.
std::vector<uint8_t> FlatPng(int width, int height, uint32_t rgba = 0xFF3366CC);

// A progressive greyscale JPEG: one DC scan, then `ac_scans` scans of the
// AC band in which end-of-band runs cover every block, a few bytes each.
std::vector<uint8_t> EobRunJpeg(int width, int height, int ac_scans);

struct HostileOutcome {
  bool built = false;  // a tree was attached (else the build was refused)
  bool sound = true;   // what the case checks afterwards held
  double ms = 0;       // the framework's time: build, attach, layout, paint, teardown
  std::string detail;  // figures and checks, for the report
};

struct HostileSkin {
  const char* name;
  const char* description;
  HostileOutcome (*run)(bool lift_budget);
};

// Every hostile skin. With `lift_budget` a build may load and copy as much
// as it likes (to time the framework's own walks instead of the budget's
// refusal).
const std::vector<HostileSkin>& HostileSkins();
const HostileSkin* FindHostileSkin(const std::string& name);

}  // namespace Veneer::test
