// This file contains the imaging decoder of GCmpSH0 pictures: the decoder
// object that a program gets for a stream, and its one frame.
//
// A GCmpSH0 picture (described in picture/pixel_decoder.h) holds its rows
// from the bottom up, and a program asks for rows from the top down, in any
// rectangle. So the first full-size request decodes the whole frame once and
// keeps it (refused above the pixel limit); a request at a smaller size, as a
// thumbnail makes through IWICBitmapSourceTransform, decodes and scales the
// rows as they come, without the full-size picture, whatever its size. Every
// read goes through the stream, a window at a time.
//
// Objects may be used from several threads at once (ThreadingModel Both):
// a decoder's lock guards its stream and its kept frame.
#include <atomic>
#include <cstring>
#include <new>

#include "picture/picture_rows.h"
#include "wic/stream_picture.h"
#include "wic/wic_server.h"

namespace {

constexpr DWORD kCapabilities =
    WICBitmapDecoderCapabilityCanDecodeAllImages | WICBitmapDecoderCapabilityCanDecodeSomeImages;

// The stream as the picture reader reads it.
bool ReadIStream(void* context, void* buffer, std::uint32_t count, std::uint32_t* done) {
  ULONG got = 0;
  const HRESULT result = static_cast<IStream*>(context)->Read(buffer, count, &got);
  *done = got;
  return SUCCEEDED(result);
}

bool SeekIStream(void* context, std::uint64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  return SUCCEEDED(static_cast<IStream*>(context)->Seek(to, STREAM_SEEK_SET, nullptr));
}

ByteStream StreamOf(IStream* stream) { return ByteStream{stream, ReadIStream, SeekIStream}; }

HRESULT ResultOf(StatusCode status, bool signature) {
  switch (status) {
    case Ok: return S_OK;
    case UnsupportedFormat:
      return signature ? WINCODEC_ERR_BADHEADER : WINCODEC_ERR_UNKNOWNIMAGEFORMAT;
    case BrokenData: return WINCODEC_ERR_BADIMAGE;
    case NoMemory: return E_OUTOFMEMORY;
    default: return WINCODEC_ERR_STREAMREAD;
  }
}

// The stream's current position.
bool PositionOf(IStream* stream, std::uint64_t* position) {
  LARGE_INTEGER zero{};
  ULARGE_INTEGER at{};
  if (FAILED(stream->Seek(zero, STREAM_SEEK_CUR, &at))) return false;
  *position = at.QuadPart;
  return true;
}

// Copies `rect` of a picture held whole (rows top-down, 3 bytes a pixel, `width`
// pixels a row) into the caller's buffer, `stride` bytes a row.
HRESULT CopyRect(const std::uint8_t* picture, UINT width, UINT height, const WICRect* rect,
                 UINT stride, UINT size, BYTE* buffer) {
  const WICRect whole{0, 0, static_cast<INT>(width), static_cast<INT>(height)};
  const WICRect& r = rect != nullptr ? *rect : whole;
  if (buffer == nullptr || r.X < 0 || r.Y < 0 || r.Width < 0 || r.Height < 0 ||
      static_cast<UINT>(r.X) > width || static_cast<UINT>(r.Width) > width - r.X ||
      static_cast<UINT>(r.Y) > height || static_cast<UINT>(r.Height) > height - r.Y)
    return E_INVALIDARG;
  if (r.Width == 0 || r.Height == 0) return S_OK;
  const std::uint64_t row = 3 * std::uint64_t{static_cast<UINT>(r.Width)};
  if (stride < row) return E_INVALIDARG;
  if (std::uint64_t{stride} * (r.Height - 1) + row > size) return WINCODEC_ERR_INSUFFICIENTBUFFER;
  for (INT y = 0; y < r.Height; ++y)
    std::memcpy(buffer + std::size_t{stride} * y,
                picture + (std::size_t{width} * (r.Y + y) + r.X) * 3, row);
  return S_OK;
}

// What a GCmpSH0 file does not hold (metadata, a preview or thumbnail of its
// own): the caller's slot is emptied and `result` says why.
template <class T>
HRESULT Missing(T** slot, HRESULT result) {
  if (slot != nullptr) *slot = nullptr;
  return result;
}

// Nor colour contexts: there are none.
HRESULT NoColorContexts(UINT* count) {
  if (count == nullptr) return E_INVALIDARG;
  *count = 0;
  return S_OK;
}

class Decoder final : public IWICBitmapDecoder {
 public:
  Decoder() {
    InitializeCriticalSection(&lock_);
    AddServerReference();
  }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IWICBitmapDecoder) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IWICBitmapDecoder*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IWICBitmapDecoder
  HRESULT STDMETHODCALLTYPE QueryCapability(IStream* stream, DWORD* capability) override {
    if (stream == nullptr || capability == nullptr) return E_INVALIDARG;
    *capability = 0;
    std::uint64_t at = 0;
    if (!PositionOf(stream, &at)) return WINCODEC_ERR_STREAMREAD;
    PictureHeader header{};
    bool signature = false;
    const StatusCode status = ReadStreamHeader(StreamOf(stream), 0, &header, &signature);
    // The stream is read from its start and left where it was.
    if (!SeekIStream(stream, at) || status == ReadError) return WINCODEC_ERR_STREAMREAD;
    if (status == Ok) *capability = kCapabilities;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, WICDecodeOptions) override {
    if (stream == nullptr) return E_INVALIDARG;
    Hold hold(lock_);
    if (stream_ != nullptr) return WINCODEC_ERR_WRONGSTATE;
    // The picture is the whole stream, from its start, wherever the stream
    // was left by those who looked at it before (the factory reads the
    // signature and does not move back).
    bool signature = false;
    const StatusCode status = ReadStreamHeader(StreamOf(stream), 0, &header_, &signature);
    if (status != Ok) return ResultOf(status, signature);
    stream->AddRef();
    stream_ = stream;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* format) override {
    if (format == nullptr) return E_INVALIDARG;
    *format = kContainerFormat;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDecoderInfo(IWICBitmapDecoderInfo** info) override {
    if (info == nullptr) return E_INVALIDARG;
    *info = nullptr;
    IWICImagingFactory* factory = nullptr;
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(result)) return result;
    IWICComponentInfo* component = nullptr;
    result = factory->CreateComponentInfo(kDecoderClass, &component);
    if (SUCCEEDED(result)) {
      result = component->QueryInterface(IID_IWICBitmapDecoderInfo, reinterpret_cast<void**>(info));
      component->Release();
    }
    factory->Release();
    return result;
  }

  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette*) override {
    return WINCODEC_ERR_PALETTEUNAVAILABLE;
  }
  HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader** reader) override {
    return Missing(reader, WINCODEC_ERR_UNSUPPORTEDOPERATION);
  }
  HRESULT STDMETHODCALLTYPE GetPreview(IWICBitmapSource** preview) override {
    return Missing(preview, WINCODEC_ERR_UNSUPPORTEDOPERATION);
  }
  HRESULT STDMETHODCALLTYPE GetColorContexts(UINT, IWICColorContext**, UINT* count) override {
    return NoColorContexts(count);
  }
  HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource** thumbnail) override {
    return Missing(thumbnail, WINCODEC_ERR_CODECNOTHUMBNAIL);
  }
  HRESULT STDMETHODCALLTYPE GetFrameCount(UINT* count) override {
    if (count == nullptr) return E_INVALIDARG;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetFrame(UINT index, IWICBitmapFrameDecode** frame) override;

  // What the frame asks of its decoder.
  const PictureHeader& header() const { return header_; }
  bool initialized() {
    Hold hold(lock_);
    return stream_ != nullptr;
  }
  // The whole picture at full size, decoded on first use and kept.
  HRESULT FullPicture(const std::uint8_t** picture);
  // The picture at width x height (smaller than full size) into `out`.
  HRESULT ScaledPicture(UINT width, UINT height, std::uint8_t* out);

 private:
  struct Hold {
    explicit Hold(CRITICAL_SECTION& lock) : lock(lock) { EnterCriticalSection(&lock); }
    ~Hold() { LeaveCriticalSection(&lock); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    CRITICAL_SECTION& lock;
  };

  ~Decoder() {
    if (stream_ != nullptr) stream_->Release();
    delete[] full_;
    DeleteCriticalSection(&lock_);
    ReleaseServerReference();
  }

  std::atomic<ULONG> references_{1};
  CRITICAL_SECTION lock_;
  IStream* stream_ = nullptr;  // set once, by Initialize
  PictureHeader header_{};
  std::uint8_t* full_ = nullptr;  // the kept full-size picture
  HRESULT full_result_ = S_OK;    // how decoding it ended, once tried
};

HRESULT Decoder::FullPicture(const std::uint8_t** picture) {
  Hold hold(lock_);
  if (full_ == nullptr && SUCCEEDED(full_result_)) {
    if (PixelCount(header_) > kPixelLimit) return WINCODEC_ERR_IMAGESIZEOUTOFRANGE;
    full_ = new (std::nothrow) std::uint8_t[3 * PixelCount(header_)];
    if (full_ == nullptr) return E_OUTOFMEMORY;
    bool truncated = false;
    const StatusCode status =
        DecodeStreamPicture(StreamOf(stream_), 0, header_.width, header_.height, full_,
                            3 * static_cast<std::ptrdiff_t>(header_.width), &truncated);
    if (status != Ok) {
      delete[] full_;
      full_ = nullptr;
      // A picture that cannot be decoded stays so; a failure that may pass
      // (memory, a read) is tried again next time.
      if (status == BrokenData) full_result_ = ResultOf(status, true);
      return ResultOf(status, true);
    }
  }
  *picture = full_;
  return full_result_;
}

HRESULT Decoder::ScaledPicture(UINT width, UINT height, std::uint8_t* out) {
  Hold hold(lock_);
  bool truncated = false;
  return ResultOf(DecodeStreamPicture(StreamOf(stream_), 0, static_cast<std::int32_t>(width),
                                      static_cast<std::int32_t>(height), out,
                                      3 * static_cast<std::ptrdiff_t>(width), &truncated),
                  true);
}

class Frame final : public IWICBitmapFrameDecode, public IWICBitmapSourceTransform {
 public:
  explicit Frame(Decoder* decoder) : decoder_(decoder) {
    decoder_->AddRef();
    AddServerReference();
  }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IWICBitmapSource || iid == IID_IWICBitmapFrameDecode) {
      *object = static_cast<IWICBitmapFrameDecode*>(this);
    } else if (iid == kSourceTransformInterface) {
      *object = static_cast<IWICBitmapSourceTransform*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IWICBitmapSource
  HRESULT STDMETHODCALLTYPE GetSize(UINT* width, UINT* height) override {
    if (width == nullptr || height == nullptr) return E_INVALIDARG;
    *width = Width();
    *height = Height();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override {
    if (format == nullptr) return E_INVALIDARG;
    *format = GUID_WICPixelFormat24bppBGR;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetResolution(double* x, double* y) override {
    if (x == nullptr || y == nullptr) return E_INVALIDARG;
    *x = *y = 96.0;  // the file says nothing; the screen's customary resolution
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette*) override {
    return WINCODEC_ERR_PALETTEUNAVAILABLE;
  }
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT stride, UINT size,
                                       BYTE* buffer) override {
    const std::uint8_t* picture = nullptr;
    const HRESULT result = decoder_->FullPicture(&picture);
    if (FAILED(result)) return result;
    return CopyRect(picture, Width(), Height(), rect, stride, size, buffer);
  }

  // IWICBitmapFrameDecode
  HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader** reader) override {
    return Missing(reader, WINCODEC_ERR_UNSUPPORTEDOPERATION);
  }
  HRESULT STDMETHODCALLTYPE GetColorContexts(UINT, IWICColorContext**, UINT* count) override {
    return NoColorContexts(count);
  }
  HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource** thumbnail) override {
    return Missing(thumbnail, WINCODEC_ERR_CODECNOTHUMBNAIL);
  }

  // IWICBitmapSourceTransform: any size up to the full one, 24bppBGR, upright.
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                       WICPixelFormatGUID* format,
                                       WICBitmapTransformOptions transform, UINT stride, UINT size,
                                       BYTE* buffer) override {
    if (width < 1 || height < 1 || width > Width() || height > Height()) return E_INVALIDARG;
    if (format != nullptr && *format != GUID_WICPixelFormat24bppBGR)
      return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (transform != WICBitmapTransformRotate0) return WINCODEC_ERR_UNSUPPORTEDOPERATION;
    if (width == Width() && height == Height()) return CopyPixels(rect, stride, size, buffer);
    std::uint8_t* scaled = new (std::nothrow) std::uint8_t[std::size_t{3} * width * height];
    if (scaled == nullptr) return E_OUTOFMEMORY;
    HRESULT result = decoder_->ScaledPicture(width, height, scaled);
    if (SUCCEEDED(result)) result = CopyRect(scaled, width, height, rect, stride, size, buffer);
    delete[] scaled;
    return result;
  }
  HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) override {
    if (width == nullptr || height == nullptr) return E_INVALIDARG;
    *width = *width < 1 ? 1 : *width > Width() ? Width() : *width;
    *height = *height < 1 ? 1 : *height > Height() ? Height() : *height;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) override {
    if (format == nullptr) return E_INVALIDARG;
    *format = GUID_WICPixelFormat24bppBGR;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform,
                                                 BOOL* supported) override {
    if (supported == nullptr) return E_INVALIDARG;
    *supported = transform == WICBitmapTransformRotate0;
    return S_OK;
  }

 private:
  ~Frame() {
    decoder_->Release();
    ReleaseServerReference();
  }
  UINT Width() const { return static_cast<UINT>(decoder_->header().width); }
  UINT Height() const { return static_cast<UINT>(decoder_->header().height); }

  std::atomic<ULONG> references_{1};
  Decoder* decoder_;
};

HRESULT Decoder::GetFrame(UINT index, IWICBitmapFrameDecode** frame) {
  if (frame == nullptr) return E_INVALIDARG;
  *frame = nullptr;
  if (!initialized()) return WINCODEC_ERR_NOTINITIALIZED;
  if (index != 0) return WINCODEC_ERR_FRAMEMISSING;
  *frame = new (std::nothrow) Frame(this);
  return *frame != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

IWICBitmapDecoder* NewDecoder() { return new (std::nothrow) Decoder(); }
