// An animated picture from the executable's resources, decoded by GDI+.
#pragma once

#include "platform/win32/win32.h"

#include <memory>
#include <string>
#include <vector>

namespace win32 {

class Picture {
 public:
  // The RCDATA resource named after the file; null when missing or undecodable.
  static std::unique_ptr<Picture> FromResource(const std::string& name);
  ~Picture();
  std::size_t FrameCount() const { return delays_.size(); }
  UINT Delay(std::size_t frame) const;  // ms
  // Draws the frame at its natural size from the top-left corner, clipped to `box`.
  void Draw(HDC dc, std::size_t frame, const RECT& box);

 private:
  void* image_ = nullptr;  // GpImage
  std::vector<UINT> delays_;
};

}  // namespace win32
