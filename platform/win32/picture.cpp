#include "platform/win32/picture.h"

#include <objidl.h>
// GDI+'s headers need min and max
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

namespace win32 {

namespace {
ULONG_PTR gdiplus_token = 0;
const GUID kFrameDimensionTime = {0x6aedbd6d, 0x3fb5, 0x418a, {0x83, 0xa6, 0x7f, 0x45, 0x22, 0x9d, 0xc8, 0x72}};
}  // namespace

void StartGdiPlus() {
  if (gdiplus_token) return;
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&gdiplus_token, &input, nullptr);
}

void StopGdiPlus() {
  if (gdiplus_token) Gdiplus::GdiplusShutdown(gdiplus_token);
  gdiplus_token = 0;
}

std::unique_ptr<Picture> Picture::FromResource(const std::string& name) {
  using namespace Gdiplus::DllExports;
  HRSRC res = FindResourceW(nullptr, Wide(name).c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!res) return nullptr;
  HGLOBAL loaded = LoadResource(nullptr, res);
  const DWORD size = SizeofResource(nullptr, res);
  const void* data = LockResource(loaded);
  if (!data || size == 0) return nullptr;
  HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!copy) return nullptr;
  std::copy_n(static_cast<const char*>(data), size, static_cast<char*>(GlobalLock(copy)));
  GlobalUnlock(copy);
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(copy, TRUE, &stream))) {
    GlobalFree(copy);
    return nullptr;
  }
  Gdiplus::GpImage* image = nullptr;
  const Gdiplus::GpStatus st = GdipLoadImageFromStream(stream, &image);
  stream->Release();
  if (st != Gdiplus::Ok || !image) return nullptr;
  auto p = std::unique_ptr<Picture>(new Picture());
  p->image_ = image;
  UINT frames = 1;
  if (GdipImageGetFrameCount(image, &kFrameDimensionTime, &frames) != Gdiplus::Ok || frames == 0) frames = 1;
  p->delays_.assign(frames, 100);
  UINT bytes = 0;
  if (GdipGetPropertyItemSize(image, 0x5100, &bytes) == Gdiplus::Ok && bytes >= sizeof(Gdiplus::PropertyItem)) {
    std::vector<char> buffer(bytes);
    auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
    if (GdipGetPropertyItem(image, 0x5100, bytes, item) == Gdiplus::Ok) {
      const auto* centis = static_cast<const UINT*>(item->value);
      const UINT n = std::min<UINT>(frames, item->length / 4);
      for (UINT i = 0; i < n; ++i) p->delays_[i] = std::max<UINT>(centis[i] * 10, 20);
    }
  }
  return p;
}

Picture::~Picture() {
  if (image_) Gdiplus::DllExports::GdipDisposeImage(static_cast<Gdiplus::GpImage*>(image_));
}

UINT Picture::Delay(std::size_t frame) const { return frame < delays_.size() ? delays_[frame] : 100; }

void Picture::Draw(HDC dc, std::size_t frame, const RECT& box) {
  using namespace Gdiplus::DllExports;
  auto* image = static_cast<Gdiplus::GpImage*>(image_);
  GdipImageSelectActiveFrame(image, &kFrameDimensionTime, static_cast<UINT>(frame));
  Gdiplus::GpGraphics* g = nullptr;
  if (GdipCreateFromHDC(dc, &g) != Gdiplus::Ok) return;
  GdipSetClipRectI(g, box.left, box.top, box.right - box.left, box.bottom - box.top, Gdiplus::CombineModeReplace);
  UINT w = 0, h = 0;
  GdipGetImageWidth(image, &w);
  GdipGetImageHeight(image, &h);
  GdipDrawImageRectI(g, image, box.left, box.top, static_cast<INT>(w), static_cast<INT>(h));
  GdipDeleteGraphics(g);
}

}  // namespace win32
