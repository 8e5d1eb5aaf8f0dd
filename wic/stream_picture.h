// This file contains the reading of a GCmpSH0 picture from a byte stream that
// is read through two functions, read and seek: an IStream in the Windows
// imaging decoder, a block of memory in the fuzz target. The reads are
// bounded: the decoder reads the pixel data a window at a time as it needs
// them, never the whole stream into memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture/picture_header.h"
#include "support/host_contract.h"

struct ByteStream {
  void* context;
  // Reads up to `count` bytes at the current position; *done is the number
  // read (fewer only at the end of the stream). False when the read fails.
  bool (*read)(void* context, void* buffer, std::uint32_t count, std::uint32_t* done);
  // Moves to `position` bytes from the start of the stream. False when it
  // cannot.
  bool (*seek)(void* context, std::uint64_t position);
};

// Reads the 16-byte header at `start`. Ok with *header; UnsupportedFormat
// when it is not a GCmpSH0 header (*signature then says whether it begins
// with the 8-byte signature, a picture of a kind not read here, or is no
// GCmpSH0 file at all); ReadError when the stream cannot be read.
StatusCode ReadStreamHeader(const ByteStream& stream, std::uint64_t start, PictureHeader* header,
                            bool* signature);

// Decodes the picture at `start`, scaled to width x height (each from 1 up
// to the picture's; full size when equal), into `out`: rows top-down,
// `stride` bytes apart, 3 bytes a pixel, blue first. Ok, with *truncated set
// when the data end early (the rest of the picture is black, as the plug-ins
// give it); UnsupportedFormat; BrokenData; ReadError; NoMemory when the
// scaling's working memory cannot be had.
StatusCode DecodeStreamPicture(const ByteStream& stream, std::uint64_t start, std::int32_t width,
                               std::int32_t height, std::uint8_t* out, std::ptrdiff_t stride,
                               bool* truncated);
