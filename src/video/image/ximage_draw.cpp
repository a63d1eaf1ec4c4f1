// Drawing onto the software canvas: stretch, transparent stretch, alpha-aware drawing and
// the platform bitmap.
#include "ximage.h"
#include "xcanvas.h"

bool CxImage::Stretch(CxCanvas*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::uint32_t) { return false; }
bool CxImage::Stretch(CxCanvas* dc, const CxRect& r, std::uint32_t rop) { return Stretch(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, rop); }
bool CxImage::Draw2(CxCanvas*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) { return false; }
bool CxImage::Draw2(CxCanvas* dc, const CxRect& r) { return Draw2(dc, r.left, r.top, r.right - r.left, r.bottom - r.top); }
bool CxImage::Draw(CxCanvas*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, const CxRect*) { return false; }
bool CxImage::Draw(CxCanvas* dc, const CxRect& r, const CxRect* clip) { return Draw(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, clip); }
CxImage* CxImage::ToBitmap(CxCanvas*) const { return nullptr; }
