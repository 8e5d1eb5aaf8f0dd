// This file contains the GCmpSH0 pixel stream decoder; the format is described
// in pixel_decoder.h.
#include "picture/pixel_decoder.h"

#include <cstring>

namespace {

constexpr std::uint32_t kRingMask = kTableSize - 1;
constexpr std::uint32_t kColorMask = 0x00FFFFFFu;

std::uint32_t Color3(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
}

std::uint32_t Count4(const std::uint8_t* p) { return Color3(p) | (std::uint32_t{p[3]} << 24); }

void Store3(std::uint8_t* out, std::uint32_t color) {
  out[0] = static_cast<std::uint8_t>(color);
  out[1] = static_cast<std::uint8_t>(color >> 8);
  out[2] = static_cast<std::uint8_t>(color >> 16);
}

// Writes `n` pixels of one colour: the first one by hand, then by doubling
// copies of what is already written, so long runs cost a few memcpy calls.
void FillRun(std::uint8_t* out, std::uint32_t color, std::uint32_t n) {
  if (n <= 4) {
    for (std::uint32_t i = 0; i < n; ++i) Store3(out + 3 * i, color);
    return;
  }
  Store3(out, color);
  Store3(out + 3, color);
  Store3(out + 6, color);
  Store3(out + 9, color);
  std::size_t done = 12;
  const std::size_t total = std::size_t{3} * n;
  while (done < total) {
    std::size_t piece = done < total - done ? done : total - done;
    std::memcpy(out + done, out, piece);
    done += piece;
  }
}

std::uint32_t& Entry(PixelDecoder& d, std::uint32_t slot) {
  return d.recent_colors[(d.front + slot) & kRingMask];
}

// The run of `color` from `slot` has ended: it moves to the front, and the
// slots in front of it move down by one. Costs min(slot, 127 - slot) moves.
void MoveToFront(PixelDecoder& d, std::int32_t slot, std::uint32_t color) {
  auto s = static_cast<std::uint32_t>(slot);
  if (s == 0) return;
  if (s == kTableSize - 1) {
    // The last entry leaves (a literal's drop, or a reference to the last
    // slot, which is the colour itself): rotating the ring does it all.
    d.front = (d.front - 1) & kRingMask;
    Entry(d, 0) = color;
    return;
  }
  if (s < kTableSize / 2) {
    for (std::uint32_t j = s; j > 0; --j) Entry(d, j) = Entry(d, j - 1);
    Entry(d, 0) = color;
    return;
  }
  // Rotate the ring by one (every slot moves down), then move the slots
  // above s back up and restore the last one.
  std::uint32_t last = Entry(d, kTableSize - 1);
  d.front = (d.front - 1) & kRingMask;
  for (std::uint32_t j = s + 1; j < kTableSize - 1; ++j) Entry(d, j) = Entry(d, j + 1);
  Entry(d, kTableSize - 1) = last;
  Entry(d, 0) = color;
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
  decoder.front = 0;
  decoder.current = 0;
  decoder.repeat = 0;
  decoder.run = 0;
  decoder.slot = 0;
  std::memset(decoder.recent_colors, 0, sizeof decoder.recent_colors);
  return ReadSource(source, decoder.buffer, kWindowSize);
}

std::uint32_t RecentColor(const PixelDecoder& decoder, std::uint32_t slot) {
  return decoder.recent_colors[(decoder.front + slot) & kRingMask];
}

bool DecodeRow(PixelDecoder& d, std::uint8_t* out, std::int32_t count) {
  if (count <= 0) return true;
  // The state is kept in locals while the row is written: stores through `out`
  // could otherwise alias it and force reloads.
  auto left = static_cast<std::uint32_t>(count);
  const std::uint8_t* cur = d.cur;
  const std::uint8_t* const refill_at = d.buffer + kRefillAt;
  std::uint32_t current = d.current;
  std::uint32_t run = d.run;
  std::int32_t slot = d.slot;
  bool ok = true;

  while (left != 0) {
    if (run == 0 && d.repeat != 0) {
      // A literal list goes on: each colour is a run of one pixel that enters
      // the table at the front. Its bytes lie in the window (see kRefillAt).
      auto n = static_cast<std::uint32_t>(d.repeat);
      if (n > left) n = left;
      for (std::uint32_t i = 0; i < n; ++i) {
        current = (current & ~kColorMask) | Color3(cur);
        cur += 3;
        Store3(out, current);
        out += 3;
        d.front = (d.front - 1) & kRingMask;
        d.recent_colors[d.front] = current;
      }
      d.repeat -= static_cast<std::int32_t>(n);
      left -= n;
      slot = 0;
      continue;
    }
    if (run == 0) {
      if (cur >= refill_at && !Refill(d, cur)) {
        ok = false;
        break;
      }
      std::uint32_t op = *cur++;
      if (op >= 0x80) {
        slot = static_cast<std::int32_t>(op & 0x1F);
        run = (op >> 5) & 3;
        if (run == 0) {
          std::uint32_t b = *cur++;
          run = ((op & 0x1F) << 1) | (b >> 7);
          slot = static_cast<std::int32_t>(b & 0x7F);
          if (run == 0) {
            run = Count4(cur);
            cur += 4;
          }
        }
        current = Entry(d, static_cast<std::uint32_t>(slot));
      } else {
        run = op;
        if (op == 0) {
          run = Count4(cur);
          cur += 4;
        } else if (op == 1) {
          std::uint32_t k = *cur++;
          if (k == 0) {
            // A list of no colours would ask for 2^32 - 1 literals: not data.
            RecordStatus(*d.source, BrokenData);
            ok = false;
            break;
          }
          d.repeat = static_cast<std::int32_t>(k - 1);
        }
        slot = kLiteralSlot;
        current = (current & ~kColorMask) | Color3(cur);
        cur += 3;
      }
    }
    // Emit. `run - 1` makes a run of 0 (a 4-byte count of 0) the longest
    // possible: it wraps, and no picture is 2^32 pixels long.
    std::uint32_t n = run - 1 < left - 1 ? run : left;
    FillRun(out, current, n);
    out += std::size_t{3} * n;
    run -= n;
    left -= n;
    if (run == 0) {
      MoveToFront(d, slot, current);
      slot = 0;
    }
  }

  d.cur = cur;
  d.current = current;
  d.run = run;
  d.slot = slot;
  return ok;
}
