// This file contains a model of the GCmpSH0 pixel decoder written straight
// from the format (see picture/pixel_decoder.h), one pixel at a time, every
// byte read with a bounds check, the table a plain array shifted with a loop.
// The tests hold the plug-in's decoder to it; the benchmarks time it as the
// plain decoder that the plug-in's must beat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct ModelDecoder {
  const std::uint8_t* stream = nullptr;  // the pixel stream, after the 16-byte header
  std::size_t size = 0;
  std::size_t at = 0;
  std::uint32_t table[128] = {};
  std::uint32_t current = 0, run = 0;
  std::int32_t repeat = 0, slot = 0;

  // Past the end of the data the stream reads as zeros.
  std::uint8_t Next() { return at < size ? stream[at++] : 0; }
  std::uint32_t Next3() {
    std::uint32_t v = Next();
    v |= std::uint32_t{Next()} << 8;
    return v | (std::uint32_t{Next()} << 16);
  }
  std::uint32_t Next4() { return Next3() | (std::uint32_t{Next()} << 24); }

  // The next pixel's colour: blue, green, red from the low byte up.
  std::uint32_t Pixel() {
    if (run == 0) {
      if (repeat != 0) {
        --repeat;
        run = 1;
        slot = 127;
        current = Next3();
      } else {
        std::uint32_t op = Next();
        if (op >= 0x80) {
          slot = op & 0x1F;
          run = (op >> 5) & 3;
          if (run == 0) {
            std::uint32_t b = Next();
            run = ((op & 0x1F) << 1) | (b >> 7);
            slot = b & 0x7F;
            if (run == 0) run = Next4();
          }
          current = table[slot];
        } else {
          run = op;
          if (op == 0) run = Next4();
          if (op == 1) repeat = Next() - 1;
          slot = 127;
          current = Next3();
        }
      }
    }
    --run;
    if (run == 0) {
      for (std::int32_t j = slot; j > 0; --j) table[j] = table[j - 1];
      table[0] = current;
      slot = 0;
    }
    return current & 0xFFFFFF;
  }
};

// Decodes the pixels of a whole GCmpSH0 file (16-byte header, then the
// stream) of `width` x `height` into `bits`: rows of 3 * width bytes, each
// padded with zeros to a multiple of 4, as GetPicture's pixel block.
inline void DecodeModelPicture(const std::uint8_t* file, std::size_t size, std::int32_t width,
                               std::int32_t height, std::uint8_t* bits) {
  ModelDecoder model;
  model.stream = file + 16;
  model.size = size > 16 ? size - 16 : 0;
  const std::size_t row = 3 * static_cast<std::size_t>(width);
  const std::size_t pad = (4 - row % 4) % 4;
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint32_t c = model.Pixel();
      bits[0] = static_cast<std::uint8_t>(c);
      bits[1] = static_cast<std::uint8_t>(c >> 8);
      bits[2] = static_cast<std::uint8_t>(c >> 16);
      bits += 3;
    }
    std::memset(bits, 0, pad);
    bits += pad;
  }
}
