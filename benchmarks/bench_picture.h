// This file contains what both picture benchmarks start from: a picture file
// read, the GCmpSH0 and QOI forms the decoders under test take, the DIB
// pixels GetPicture must give back, and the QOI reference decoder's call.
// The including program defines QOI_IMPLEMENTATION before including it.
#pragma once

#include <qoi.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image_files/image_files.h"
#include "writers/gcmp_writer.h"

struct BenchPicture {
  std::string name;  // the file's name without folder or extension
  Image image;
  std::vector<std::uint8_t> dib_bits;  // what GetPicture must produce
  std::vector<std::uint8_t> gcmp, qoi;
};

// Reads `path` and makes its GCmpSH0 and QOI forms. False with the reason in
// *error when the file cannot be read or encoded.
inline bool LoadBenchPicture(const std::string& path, BenchPicture* p, std::string* error) {
  p->name = path.substr(path.find_last_of("/\\") + 1);
  p->name = p->name.substr(0, p->name.find('.'));
  if (!ReadImageFile(path, &p->image, error)) return false;
  const std::vector<std::uint8_t> stream = StreamPixels(p->image);
  if (!EncodeGcmpPicture(stream.data(), p->image.width, p->image.height, &p->gcmp))
    return *error = "too large for GCmpSH0", false;
  const std::size_t row = 3 * static_cast<std::size_t>(p->image.width);
  const std::size_t stride = (row + 3) / 4 * 4;
  p->dib_bits.assign(stride * p->image.height, 0);
  for (std::int32_t y = 0; y < p->image.height; ++y)
    std::memcpy(&p->dib_bits[stride * y], &stream[row * y], row);
  qoi_desc desc;
  desc.width = static_cast<unsigned>(p->image.width);
  desc.height = static_cast<unsigned>(p->image.height);
  desc.channels = 3;
  desc.colorspace = QOI_SRGB;
  int qoi_size = 0;
  void* qoi = qoi_encode(p->image.rgb.data(), &desc, &qoi_size);
  if (qoi == nullptr) return *error = "QOI encoding failed", false;
  p->qoi.assign(static_cast<std::uint8_t*>(qoi), static_cast<std::uint8_t*>(qoi) + qoi_size);
  std::free(qoi);
  return true;
}

// The QOI reference decoder on the picture's QOI form, to 3-byte RGB; the
// pixels are copied to *out unless it is null.
inline bool DecodeQoi(const BenchPicture& p, std::vector<std::uint8_t>* out) {
  qoi_desc desc;
  void* pixels = qoi_decode(p.qoi.data(), static_cast<int>(p.qoi.size()), &desc, 3);
  if (pixels == nullptr) return false;
  if (out != nullptr) {
    auto* bytes = static_cast<std::uint8_t*>(pixels);
    out->assign(bytes, bytes + 3 * static_cast<std::size_t>(desc.width) * desc.height);
  }
  std::free(pixels);
  return true;
}
