// This file contains the decoding of a GCmpSH0 picture row by row, for what
// shows pictures rather than hands them to a host: the desktop loader, the
// thumbnailers, jamcg, the Windows imaging decoder and the web page. Rows come
// in stream order (the bottom row first) and go through a RowScaling into the
// caller's picture, full size or smaller, so the full-size picture is never
// held twice, nor at all for a thumbnail; once every pixel still to come has
// one colour (a run that lasts to the end, or data that ended early), the
// rest is filled without decoding, so a picture costs what its data hold,
// not what its header claims.
//
// The decoder also tells whether the picture is truncated: whether some pixel
// was made from the zeros that stand for bytes past the end of the data.
#pragma once

#include <cstdint>

#include "picture/picture_header.h"
#include "picture/pixel_decoder.h"
#include "picture/row_scaling.h"

// The most pixels a picture shown at full size may have: 2^28, about the
// largest canvas a browser draws. Larger pictures are legal; viewers show
// them scaled down.
constexpr std::uint64_t kPixelLimit = std::uint64_t{1} << 28;

inline std::uint64_t PixelCount(const PictureHeader& header) {
  return std::uint64_t{static_cast<std::uint16_t>(header.width)} *
         static_cast<std::uint16_t>(header.height);
}

struct PictureRows {
  PictureHeader header;
  PixelDecoder decoder;
  std::int32_t rows_done;  // rows decoded or filled, from the bottom
};

// Reads and checks the header at the source's position and primes the
// decoder. Fails as GetPicture does: UnsupportedFormat, or ReadError.
bool StartPictureRows(PictureRows& p, InputSource& input);

// Decodes up to `count` more rows into `scaling`, each passing through `row`
// (3 * width bytes); rows past the picture's end are not asked for. Once the
// rest of the picture has one colour, all of it is added at once. False when
// the decoder fails (BrokenData or ReadError, recorded in the source).
bool ScaleRows(PictureRows& p, RowScaling& scaling, std::uint8_t* row, std::int32_t count);

inline bool PictureDone(const PictureRows& p) { return p.rows_done == p.header.height; }

// Decodes the picture at the source's position whole, scaled to width x
// height (each from 1 up to the picture's; full size when equal), into
// `out`: rows top-down, `stride` bytes apart, 3 bytes a pixel in stream order
// (blue first). Ok, with *truncated set when the data end early (the rest is
// black); UnsupportedFormat (no GCmpSH0 header, or a size out of range);
// BrokenData; ReadError; NoMemory when its working memory (the decoder's few
// kilobytes, on the heap, and a row) cannot be had.
StatusCode DecodeScaledPicture(InputSource& input, std::int32_t width, std::int32_t height,
                               std::uint8_t* out, std::ptrdiff_t stride, bool* truncated);
