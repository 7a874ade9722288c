#pragma once

// A bar that reveals its fore image in proportion to a value between a
// minimum and a maximum, horizontally (left to right) or vertically
// (bottom to top). Without "isstretchfore" the image is uncovered, not
// squeezed.
// Thread affinity: UI thread only.

#include "uiframework/controls/label.h"

namespace Veneer {

class CProgressUI : public CLabelUI {
 public:
  CProgressUI();

  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintStatusImage(IRenderUI& render) override;

  bool IsHorizontal() const { return horizontal_; }
  void SetHorizontal(bool horizontal);
  bool IsStretchForeImage() const { return stretch_fore_; }
  void SetStretchForeImage(bool stretch);
  int GetMinValue() const { return min_; }
  void SetMinValue(int min);
  int GetMaxValue() const { return max_; }
  void SetMaxValue(int max);
  int GetValue() const { return value_; }
  void SetValue(int value);
  void SetForeImage(const std::wstring& descriptor);

 private:
  // A range whose minimum is not below the maximum becomes min..min+1; the
  // value is kept inside the range.
  void Normalize();

  bool horizontal_ = true;
  bool stretch_fore_ = true;
  int min_ = 0;
  int max_ = 100;
  int value_ = 0;
  ImageDrawInfo fore_image_;
};

}  // namespace Veneer
