// This file contains the tests of the imaging decoder as a program meets it:
// through the system's imaging factory only, with the DLL registered for the
// machine (tests/wic_decoder.sh registers it first). Nothing here names the
// decoder: the factory finds it by the file's extension or by its content.
#include <wincodec.h>
#include <windows.h>

#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "tests/model_decoder.h"
#include "tests/test_files.h"
#include "writers/gcmp_writer.h"

// IWICBitmapSourceTransform, which the cross compiler's headers lack. Outside
// the unnamed namespace: there, with no class of the file deriving from it,
// the compiler would take a call through it for a call of the pure function.
constexpr GUID kSourceTransform = {
    0x3B16811B, 0x6A43, 0x4EC9, {0xB7, 0x13, 0x3D, 0x5A, 0x0C, 0x13, 0xB9, 0x40}};
struct SourceTransform : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect*, UINT, UINT, WICPixelFormatGUID*,
                                               WICBitmapTransformOptions, UINT, UINT, BYTE*) = 0;
};

namespace {

// Holds one reference to a COM object.
template <class T>
struct Ref {
  T* p = nullptr;
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (p != nullptr) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
};

// COM on this thread, for the life of the object.
struct Com {
  Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~Com() { CoUninitialize(); }
};

// A picture as a GCmpSH0 file and as the rows a program expects: top-down,
// 3 bytes a pixel, blue first, unpadded.
struct Picture {
  std::int32_t width, height;
  Bytes file;
  Bytes rows;
};

Picture MakePicture(std::int32_t width, std::int32_t height, unsigned seed) {
  Bytes pixels(3 * static_cast<std::size_t>(width) * height);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    // Runs, repeats and noise, so that every kind of token is written.
    const std::size_t pixel = i / 3;
    pixels[i] =
        static_cast<std::uint8_t>(pixel % 7 < 3 ? seed : (pixel * 37 + i % 3 * 11 + seed) % 251);
  }
  Picture p{width, height, {}, {}};
  EXPECT_TRUE(EncodeGcmpPicture(pixels.data(), width, height, &p.file));
  const std::size_t row = 3 * static_cast<std::size_t>(width), padded = (row + 3) / 4 * 4;
  Bytes dib(padded * height);
  DecodeModelPicture(p.file.data(), p.file.size(), width, height, dib.data());
  for (std::int32_t y = height - 1; y >= 0; --y)
    p.rows.insert(p.rows.end(), dib.begin() + padded * y, dib.begin() + padded * y + row);
  return p;
}

// The mean of the source pixels each output pixel covers, rounded: the
// picture scaled to width x height.
Bytes BoxScaled(const Picture& p, std::int32_t width, std::int32_t height) {
  Bytes out;
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::int32_t x0 = x * p.width / width, x1 = (x + 1) * p.width / width;
      const std::int32_t y0 = y * p.height / height, y1 = (y + 1) * p.height / height;
      for (int c = 0; c < 3; ++c) {
        std::uint64_t sum = 0, count = 0;
        for (std::int32_t sy = y0; sy < y1; ++sy)
          for (std::int32_t sx = x0; sx < x1; ++sx, ++count)
            sum += p.rows[(static_cast<std::size_t>(sy) * p.width + sx) * 3 + c];
        out.push_back(static_cast<std::uint8_t>((sum + count / 2) / count));
      }
    }
  }
  return out;
}

IWICImagingFactory* NewFactory() {
  IWICImagingFactory* factory = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IWICImagingFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  return factory;
}

HRESULT OpenFrame(IWICImagingFactory* factory, const std::filesystem::path& path,
                  IWICBitmapFrameDecode** frame) {
  Ref<IWICBitmapDecoder> decoder;
  const HRESULT result = factory->CreateDecoderFromFilename(
      path.wstring().c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, &decoder);
  if (FAILED(result)) return result;
  UINT frames = 0;
  EXPECT_EQ(decoder->GetFrameCount(&frames), S_OK);
  EXPECT_EQ(frames, 1u);
  return decoder->GetFrame(0, frame);
}

// The source's pixels in `rect`, `stride` bytes a row; `bytes` a pixel.
Bytes Copy(IWICBitmapSource* source, const WICRect& rect, UINT stride, UINT bytes,
           HRESULT* result) {
  Bytes buffer(static_cast<std::size_t>(stride) * rect.Height, 0xEE);
  *result = source->CopyPixels(&rect, stride, static_cast<UINT>(buffer.size()), buffer.data());
  Bytes pixels;
  for (INT y = 0; y < rect.Height; ++y)
    pixels.insert(pixels.end(), buffer.begin() + stride * y,
                  buffer.begin() + stride * y + bytes * rect.Width);
  return pixels;
}

Bytes Rect(const Picture& p, const WICRect& r) {
  Bytes out;
  for (INT y = r.Y; y < r.Y + r.Height; ++y) {
    const auto at = p.rows.begin() + (static_cast<std::size_t>(y) * p.width + r.X) * 3;
    out.insert(out.end(), at, at + 3 * r.Width);
  }
  return out;
}

TEST(ImagingDecoder, FoundByExtensionAndByContentWithTheModelDecodersPixels) {
  Com com;
  Ref<IWICImagingFactory> factory;
  factory.p = NewFactory();
  TempDir dir;
  const Picture p = MakePicture(37, 23, 90);
  for (const char* name : {"p.gcmp", "no extension", "wrong.png"}) {
    SCOPED_TRACE(name);
    WriteFile(dir.path / name, p.file);
    Ref<IWICBitmapFrameDecode> frame;
    ASSERT_EQ(OpenFrame(factory.p, dir.path / name, &frame), S_OK);
    UINT width = 0, height = 0;
    WICPixelFormatGUID format{};
    double dpi_x = 0, dpi_y = 0;
    EXPECT_EQ(frame->GetSize(&width, &height), S_OK);
    EXPECT_EQ(frame->GetPixelFormat(&format), S_OK);
    EXPECT_EQ(frame->GetResolution(&dpi_x, &dpi_y), S_OK);
    EXPECT_EQ(width, 37u);
    EXPECT_EQ(height, 23u);
    EXPECT_TRUE(format == GUID_WICPixelFormat24bppBGR);
    EXPECT_EQ(dpi_x, 96.0);
    HRESULT result;
    EXPECT_EQ(Copy(frame.p, {0, 0, 37, 23}, 112, 3, &result), p.rows);
    EXPECT_EQ(result, S_OK);
  }
}

TEST(ImagingDecoder, RectanglesConversionsScalersAndTheSourceTransform) {
  Com com;
  Ref<IWICImagingFactory> factory;
  factory.p = NewFactory();
  TempDir dir;
  const Picture p = MakePicture(61, 45, 7);
  WriteFile(dir.path / "p.gcmp", p.file);
  Ref<IWICBitmapFrameDecode> frame;
  ASSERT_EQ(OpenFrame(factory.p, dir.path / "p.gcmp", &frame), S_OK);
  HRESULT result;
  for (const WICRect& r : {WICRect{3, 2, 5, 4}, WICRect{60, 44, 1, 1}, WICRect{0, 10, 61, 3}}) {
    EXPECT_EQ(Copy(frame.p, r, 3 * r.Width + 13, 3, &result), Rect(p, r));
    EXPECT_EQ(result, S_OK);
  }
  EXPECT_EQ(frame->CopyPixels(nullptr, 10, 100000, std::vector<BYTE>(100000).data()), E_INVALIDARG)
      << "a stride shorter than a row";
  const WICRect outside{50, 40, 20, 1};
  Copy(frame.p, outside, 60, 3, &result);
  EXPECT_TRUE(FAILED(result));

  // The system's own converter and scaler read the frame as any other.
  Ref<IWICBitmapSource> bgra;
  ASSERT_EQ(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.p, &bgra), S_OK);
  const Bytes converted = Copy(bgra.p, {0, 0, 61, 45}, 4 * 61, 4, &result);
  ASSERT_EQ(result, S_OK);
  for (std::size_t i = 0; i < 61 * 45; ++i) {
    ASSERT_EQ(Bytes(converted.begin() + 4 * i, converted.begin() + 4 * i + 3),
              Bytes(p.rows.begin() + 3 * i, p.rows.begin() + 3 * i + 3))
        << i;
    ASSERT_EQ(converted[4 * i + 3], 255);
  }
  Ref<IWICBitmapScaler> scaler;
  ASSERT_EQ(factory->CreateBitmapScaler(&scaler), S_OK);
  ASSERT_EQ(scaler->Initialize(frame.p, 20, 15, WICBitmapInterpolationModeNearestNeighbor), S_OK);
  UINT width = 0, height = 0;
  EXPECT_EQ(scaler->GetSize(&width, &height), S_OK);
  EXPECT_EQ(width, 20u);
  Copy(scaler.p, {0, 0, 20, 15}, 60, 3, &result);
  EXPECT_EQ(result, S_OK);

  // Smaller sizes through the source transform, as thumbnails are made.
  Ref<SourceTransform> transform;
  ASSERT_EQ(frame->QueryInterface(kSourceTransform, reinterpret_cast<void**>(&transform)), S_OK);
  for (const auto& [w, h] :
       {std::pair{20, 15}, std::pair{1, 1}, std::pair{61, 45}, std::pair{7, 44}}) {
    Bytes buffer(3 * w * h);
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    EXPECT_EQ(transform->CopyPixels(nullptr, w, h, &format, WICBitmapTransformRotate0, 3 * w,
                                    static_cast<UINT>(buffer.size()), buffer.data()),
              S_OK);
    EXPECT_EQ(buffer, BoxScaled(p, w, h)) << w << "x" << h;
  }
}

TEST(ImagingDecoder, BadFilesFailWithAnHresultAndTruncatedOnesDecode) {
  Com com;
  Ref<IWICImagingFactory> factory;
  factory.p = NewFactory();
  TempDir dir;
  const Picture p = MakePicture(40, 30, 3);
  Bytes other_depth = p.file;
  other_depth[12] = 16;
  WriteFile(dir.path / "depth16.gcmp", other_depth);
  Ref<IWICBitmapFrameDecode> none;
  EXPECT_TRUE(FAILED(OpenFrame(factory.p, dir.path / "depth16.gcmp", &none)));

  const Bytes broken = {'G', 'C', 'm', 'p', 'S', 'H', '0', 0, 4, 0, 9, 0, 24, 0, 0, 0, 0x01, 0x00};
  WriteFile(dir.path / "broken.gcmp", broken);
  Ref<IWICBitmapFrameDecode> frame;
  ASSERT_EQ(OpenFrame(factory.p, dir.path / "broken.gcmp", &frame), S_OK);
  HRESULT result;
  Copy(frame.p, {0, 0, 4, 9}, 12, 3, &result);
  EXPECT_EQ(result, WINCODEC_ERR_BADIMAGE);

  // Data that end early: the rest is black, as the plug-ins give it.
  const Bytes half(p.file.begin(), p.file.begin() + p.file.size() / 2);
  WriteFile(dir.path / "half.gcmp", half);
  Ref<IWICBitmapFrameDecode> truncated;
  ASSERT_EQ(OpenFrame(factory.p, dir.path / "half.gcmp", &truncated), S_OK);
  const std::size_t row = 3 * 40, padded = 120;
  Bytes dib(padded * 30);
  DecodeModelPicture(half.data(), half.size(), 40, 30, dib.data());
  Bytes expected;
  for (int y = 29; y >= 0; --y)
    expected.insert(expected.end(), dib.begin() + padded * y, dib.begin() + padded * y + row);
  EXPECT_EQ(Copy(truncated.p, {0, 0, 40, 30}, 120, 3, &result), expected);
  EXPECT_EQ(result, S_OK);

  // 20 bytes that claim 32767 x 32767 pixels: refused at full size (above
  // the pixel limit), black at a thumbnail's size, at once.
  const Bytes claims = {'G',  'C',  'm', 'p', 'S', 'H', '0', 0, 0xFF, 0x7F,
                        0xFF, 0x7F, 24,  0,   0,   0,   0,   0, 0,    0};
  WriteFile(dir.path / "claims.gcmp", claims);
  Ref<IWICBitmapFrameDecode> huge;
  ASSERT_EQ(OpenFrame(factory.p, dir.path / "claims.gcmp", &huge), S_OK);
  Copy(huge.p, {0, 0, 10, 1}, 30, 3, &result);
  EXPECT_EQ(result, WINCODEC_ERR_IMAGESIZEOUTOFRANGE);
  Ref<SourceTransform> transform;
  ASSERT_EQ(huge->QueryInterface(kSourceTransform, reinterpret_cast<void**>(&transform)), S_OK);
  Bytes thumbnail(3 * 256 * 256, 0xEE);
  EXPECT_EQ(transform->CopyPixels(nullptr, 256, 256, nullptr, WICBitmapTransformRotate0, 3 * 256,
                                  static_cast<UINT>(thumbnail.size()), thumbnail.data()),
            S_OK);
  EXPECT_EQ(thumbnail, Bytes(thumbnail.size(), 0));
}

TEST(ImagingDecoder, SeveralThreadsDecodeAtOnce) {
  Com com;
  TempDir dir;
  const Picture p = MakePicture(300, 200, 11);
  WriteFile(dir.path / "p.gcmp", p.file);
  Ref<IWICImagingFactory> factory;
  factory.p = NewFactory();
  Ref<IWICBitmapFrameDecode> shared;
  ASSERT_EQ(OpenFrame(factory.p, dir.path / "p.gcmp", &shared), S_OK);
  std::vector<int> wrong(8, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      Com thread_com;
      for (int i = 0; i < 5; ++i) {
        // Half the threads share one frame; the others open their own.
        Ref<IWICBitmapFrameDecode> own;
        IWICBitmapFrameDecode* frame = shared.p;
        if (t % 2 == 1) {
          if (FAILED(OpenFrame(factory.p, dir.path / "p.gcmp", &own))) {
            ++wrong[t];
            continue;
          }
          frame = own.p;
        }
        HRESULT result;
        if (Copy(frame, {0, 0, 300, 200}, 900, 3, &result) != p.rows || result != S_OK) ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(8, 0));
}

}  // namespace
