// This file contains what the parts of the imaging decoder's COM server share:
// its identifiers, the count of its live objects (which tells COM when the DLL
// may be unloaded) and the making of a decoder.
#pragma once

#include <wincodec.h>
#include <windows.h>

// The decoder's class, the GCmpSH0 container format and the vendor, as
// registered; identifiers of this project's own.
inline constexpr GUID kDecoderClass = {
    0x63E78C36, 0xC3F5, 0x46AC, {0xB9, 0x47, 0xFA, 0x1C, 0x98, 0xB3, 0x80, 0x04}};
inline constexpr GUID kContainerFormat = {
    0xE7799DF8, 0x372F, 0x4478, {0x8E, 0xA7, 0x24, 0xF7, 0x07, 0xBF, 0xBF, 0xEF}};
inline constexpr GUID kVendor = {
    0x190840D9, 0xE950, 0x44CD, {0xBE, 0x2A, 0x7F, 0x9F, 0xAE, 0x72, 0xC2, 0xB2}};

// IWICBitmapSourceTransform, which the cross compiler's headers lack: a frame
// that offers it gives its pixels at a smaller size (what thumbnails ask for)
// without the full-size picture.
inline constexpr GUID kSourceTransformInterface = {
    0x3B16811B, 0x6A43, 0x4EC9, {0xB7, 0x13, 0x3D, 0x5A, 0x0C, 0x13, 0xB9, 0x40}};
struct IWICBitmapSourceTransform : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                               WICPixelFormatGUID* format,
                                               WICBitmapTransformOptions transform, UINT stride,
                                               UINT size, BYTE* buffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform,
                                                         BOOL* supported) = 0;
};

// The server's live objects and locks (IClassFactory::LockServer).
void AddServerReference();
void ReleaseServerReference();

// A new decoder with one reference, or null when memory ran out.
IWICBitmapDecoder* NewDecoder();
