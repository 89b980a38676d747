#include "skin/skin_image.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "platform/win/framework/app.h"

CSkinImage::CSkinImage(Gdiplus::GpImage* image, IStream* source)
    : m_image(image), m_source(source) {}

CSkinImage::~CSkinImage() {
  if (m_image != nullptr)
    gdip::GdipDisposeImage(m_image);
  if (m_source != nullptr)
    m_source->Release();
}

UINT CSkinImage::GetWidth() const {
  UINT width = 0;
  if (m_image == nullptr || gdip::GdipGetImageWidth(m_image, &width) != Gdiplus::Ok)
    return 0;
  return width;
}

UINT CSkinImage::GetHeight() const {
  UINT height = 0;
  if (m_image == nullptr || gdip::GdipGetImageHeight(m_image, &height) != Gdiplus::Ok)
    return 0;
  return height;
}

namespace {

// A stream over a copy of the resource's bytes. The stream owns the copy: GDI+ decodes lazily
// and may read the stream again while the image lives, so the bytes must live as long.
IStream* OpenResourceStream(UINT id, const wchar_t* type, HINSTANCE module) {
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id & 0xFFFF), type);
  if (resource == nullptr)
    return nullptr;
  const DWORD size = ::SizeofResource(module, resource);
  HGLOBAL loaded = ::LoadResource(module, resource);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr || size == 0)
    return nullptr;

  HGLOBAL block = ::GlobalAlloc(GMEM_FIXED, size);
  if (block == nullptr)
    return nullptr;
  void* copy = ::GlobalLock(block);
  if (copy == nullptr) {
    ::GlobalFree(block);
    return nullptr;
  }
  std::memcpy(copy, bytes, size);
  ::GlobalUnlock(block);

  IStream* stream = nullptr;
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, &stream))) {
    ::GlobalFree(block);
    return nullptr;
  }
  return stream;
}

// Takes over both; frees them when no image object can be had.
std::unique_ptr<CSkinImage> MakeSkinImage(Gdiplus::GpImage* image, IStream* source) {
  auto* skin = new (std::nothrow) CSkinImage(image, source);
  if (skin == nullptr) {
    if (image != nullptr)
      gdip::GdipDisposeImage(image);
    if (source != nullptr)
      source->Release();
  }
  return std::unique_ptr<CSkinImage>(skin);
}

std::unique_ptr<CSkinImage> DecodeSkinImage(IStream* stream) {
  Gdiplus::GpImage* image = nullptr;
  if (stream != nullptr && gdip::GdipLoadImageFromStream(stream, &image) != Gdiplus::Ok) {
    image = nullptr;
  }
  if (image == nullptr && stream != nullptr) {
    stream->Release();
    stream = nullptr;
  }
  return MakeSkinImage(image, stream);
}

// length × scale truncated toward zero; 0 for a result no bitmap can have.
INT ScaledLength(UINT length, double scale) {
  const double scaled = std::trunc(static_cast<double>(length) * scale);
  if (!(scaled >= 0.0) || scaled > static_cast<double>(std::numeric_limits<INT>::max()))
    return 0;
  return static_cast<INT>(scaled);
}

std::unique_ptr<CSkinImage> ScaledCopy(const CSkinImage& decoded, double scale) {
  const INT width = ScaledLength(decoded.GetWidth(), scale);
  const INT height = ScaledLength(decoded.GetHeight(), scale);
  Gdiplus::PixelFormat format = PixelFormat32bppARGB;
  if (decoded.Native() != nullptr)
    gdip::GdipGetImagePixelFormat(decoded.Native(), &format);

  // A new bitmap starts fully transparent, and drawing over it keeps the picture's alpha.
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (width == 0 || height == 0 ||
      gdip::GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &bitmap) != Gdiplus::Ok) {
    bitmap = nullptr;
  }
  if (bitmap != nullptr) {
    Gdiplus::GpGraphics* graphics = nullptr;
    if (gdip::GdipGetImageGraphicsContext(bitmap, &graphics) == Gdiplus::Ok) {
      CGdipGraphics owner(graphics);
      gdip::GdipDrawImageRectI(graphics, decoded.Native(), 0, 0, width, height);
    }
  }
  return MakeSkinImage(bitmap, nullptr);
}

// The same pixels premultiplied, the composition surface's own format, so drawing needs no
// conversion per pixel; the picture as it was when no copy can be had.
std::unique_ptr<CSkinImage> Premultiplied(std::unique_ptr<CSkinImage> image) {
  Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
  if (image == nullptr || image->Native() == nullptr ||
      gdip::GdipGetImageType(image->Native(), &type) != Gdiplus::Ok ||
      type != Gdiplus::ImageTypeBitmap) {
    return image;
  }
  Gdiplus::GpBitmap* copy = nullptr;
  if (gdip::GdipCloneBitmapAreaI(0, 0, static_cast<INT>(image->GetWidth()),
                                 static_cast<INT>(image->GetHeight()), PixelFormat32bppPARGB,
                                 static_cast<Gdiplus::GpBitmap*>(image->Native()),
                                 &copy) != Gdiplus::Ok) {
    return image;
  }
  std::unique_ptr<CSkinImage> premultiplied = MakeSkinImage(copy, nullptr);
  return premultiplied != nullptr ? std::move(premultiplied) : std::move(image);
}

}  // namespace

std::unique_ptr<CSkinImage> LoadSkinImage(UINT id, const wchar_t* type, HINSTANCE module,
                                          double scale) {
  if (module == nullptr)
    module = AppResourceModule();
  std::unique_ptr<CSkinImage> decoded = DecodeSkinImage(OpenResourceStream(id, type, module));
  if (decoded == nullptr || scale == 1.0)
    return Premultiplied(std::move(decoded));
  return Premultiplied(ScaledCopy(*decoded, scale));
}
