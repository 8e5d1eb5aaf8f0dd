// This file contains the GCmpSH0 pixel stream decoder; the format is described
// in pixel_decoder.h.
#include "picture/pixel_decoder.h"

#include <bit>
#include <cstring>

namespace {

static_assert(std::endian::native == std::endian::little,
              "colours are moved as little-endian 32-bit words");

constexpr std::uint32_t kColorMask = 0x00FFFFFFu;

std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The three colour bytes at p, as the low bytes of a word.
std::uint32_t Color3(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
}

void Store3(std::uint8_t* out, std::uint32_t color) {
  out[0] = static_cast<std::uint8_t>(color);
  out[1] = static_cast<std::uint8_t>(color >> 8);
  out[2] = static_cast<std::uint8_t>(color >> 16);
}

// Writes one pixel. While more pixels of the row follow it, the colour is
// stored as a whole word: its fourth byte lands on the next pixel, which is
// written after it, so nothing outside the row is ever touched.
void StorePixel(std::uint8_t* out, std::uint32_t color, bool more_follow) {
  if (more_follow) {
    std::memcpy(out, &color, 4);
  } else {
    Store3(out, color);
  }
}

// Writes `n` pixels of one colour, `last_in_row` telling whether the final
// one ends the row. Short runs are stored pixel by pixel; long ones are
// doubled with memcpy from what is already written.
void FillRun(std::uint8_t* out, std::uint32_t color, std::uint32_t n, bool last_in_row) {
  if (n <= 8) {
    for (std::uint32_t i = 0; i + 1 < n; ++i) std::memcpy(out + 3 * i, &color, 4);
    StorePixel(out + 3 * (n - 1), color, !last_in_row);
    return;
  }
  for (std::uint32_t i = 0; i < 4; ++i) std::memcpy(out + 3 * i, &color, 4);
  std::size_t done = 12;
  const std::size_t total = std::size_t{3} * n;
  while (done < total) {
    std::size_t piece = done < total - done ? done : total - done;
    std::memcpy(out + done, out, piece);
    done += piece;
  }
}

// Refills the window at a token start once `cur` has reached the refill
// point: the unread bytes move to the window's start and the rest is read.
bool Refill(PixelDecoder& d, const std::uint8_t*& cur) {
  const std::uint8_t* end = d.buffer + kWindowSize;
  if (cur >= end) {
    RecordStatus(*d.source, BrokenData);
    return false;
  }
  auto left = static_cast<std::uint32_t>(end - cur);
  std::memmove(d.buffer, cur, left);
  cur = d.buffer;
  return ReadSource(*d.source, d.buffer + left, kWindowSize - left);
}

}  // namespace

bool PrimeDecoder(PixelDecoder& decoder, InputSource& source) {
  decoder.source = &source;
  decoder.cur = decoder.buffer;
  decoder.front = kTableRoom;
  decoder.current = 0;
  decoder.repeat = 0;
  decoder.run = 0;
  decoder.slot = 0;
  std::memset(decoder.recent_colors, 0, sizeof decoder.recent_colors);
  return ReadSource(source, decoder.buffer, kWindowSize);
}

bool DecodeRow(PixelDecoder& d, std::uint8_t* out, std::int32_t count) {
  if (count <= 0) return true;
  // The state is kept in locals while the row is written: stores through `out`
  // could otherwise alias it and force reloads.
  auto left = static_cast<std::uint32_t>(count);
  const std::uint8_t* cur = d.cur;
  const std::uint8_t* const refill_at = d.buffer + kRefillAt;
  std::uint32_t* table = d.recent_colors + d.front;  // slot 0
  std::uint32_t current = d.current;
  std::uint32_t run = d.run;
  auto repeat = static_cast<std::uint32_t>(d.repeat);
  std::int32_t slot = d.slot;
  bool ok = true;

  // A colour enters the table at the front and the last entry drops out:
  // the table slides down one entry, and back up once it reaches the bottom.
  auto push_front = [&](std::uint32_t color) {
    if (table == d.recent_colors) {
      std::memmove(d.recent_colors + kTableRoom, d.recent_colors,
                   sizeof(std::uint32_t) * (kTableSize - 1));
      table = d.recent_colors + kTableRoom;
    }
    *--table = color;
  };

  while (left != 0) {
    if (run == 0) {
      if (repeat != 0) {
        // A literal list goes on: each colour is a run of one pixel that
        // enters the table at once. Its bytes lie in the window (kRefillAt).
        std::uint32_t n = repeat < left ? repeat : left;
        repeat -= n;
        left -= n;
        for (; n != 0; --n) {
          current = (current & ~kColorMask) | Color3(cur);
          cur += 3;
          StorePixel(out, current, n > 1 || left != 0);
          out += 3;
          push_front(current);
        }
        slot = 0;
        continue;
      }
      if (cur >= refill_at && !Refill(d, cur)) {
        ok = false;
        break;
      }
      const std::uint32_t op = *cur++;
      if (op >= 0xA0) {
        slot = static_cast<std::int32_t>(op & 0x1F);
        run = (op >> 5) & 3;
        current = table[slot];
      } else if (op >= 0x80) {
        const std::uint32_t b = *cur++;
        run = ((op & 0x1F) << 1) | (b >> 7);
        slot = static_cast<std::int32_t>(b & 0x7F);
        if (run == 0) {
          run = Load32(cur);
          cur += 4;
        }
        current = table[slot];
      } else {
        run = op;
        if (op == 0) {
          run = Load32(cur);
          cur += 4;
        } else if (op == 1) {
          repeat = *cur++;
          if (repeat == 0) {
            // A list of no colours would ask for 2^32 - 1 literals: not data.
            RecordStatus(*d.source, BrokenData);
            ok = false;
            break;
          }
          --repeat;
        }
        slot = kLiteralSlot;
        current = (current & ~kColorMask) | Color3(cur);
        cur += 3;
      }
    }
    // Emit. `run - 1` makes a run of 0 (a 4-byte count of 0) the longest
    // possible: it wraps, and no picture is 2^32 pixels long.
    const std::uint32_t n = run - 1 < left - 1 ? run : left;
    if (n <= 3 && left >= 4) {
      // The common short run away from the row's end: three whole-word
      // stores, whatever n is, all inside the next four pixels of the row
      // and all overwritten by the pixels that follow.
      std::memcpy(out, &current, 4);
      std::memcpy(out + 3, &current, 4);
      std::memcpy(out + 6, &current, 4);
    } else {
      FillRun(out, current, n, left == n);
    }
    left -= n;
    run -= n;
    out += std::size_t{3} * n;
    if (run == 0) {
      // The run has ended: its colour moves to the front. A literal (slot
      // 127) drops the last entry, as does a reference to the last slot,
      // which is the colour itself; otherwise slots 0 .. slot-1 move down.
      if (slot == kLiteralSlot) {
        push_front(current);
      } else if (slot != 0) {
        std::memmove(table + 1, table, sizeof(std::uint32_t) * static_cast<std::uint32_t>(slot));
        table[0] = current;
      }
      slot = 0;
    }
  }

  d.cur = cur;
  d.front = static_cast<std::uint32_t>(table - d.recent_colors);
  d.current = current;
  d.run = run;
  d.repeat = static_cast<std::int32_t>(repeat);
  d.slot = slot;
  return ok;
}
