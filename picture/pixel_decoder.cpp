// This file contains the GCmpSH0 pixel stream decoder; the format is described
// in pixel_decoder.h.
#include "picture/pixel_decoder.h"

#include <bit>
#include <cstring>
#if defined(__i386__) && !defined(__SSE2__)
#include <cpuid.h>
#endif

#include "support/byte_order.h"

// The steps of decoding a row are inlined into each of its two variants (see
// DecodeRowWith): the decoder's state then stays in registers across the
// steps, and the vector variant's steps are compiled for vectors.
#define ROW_STEP [[gnu::always_inline]] inline

namespace {

static_assert(std::endian::native == std::endian::little,
              "colours are moved as little-endian 32-bit words");

// The colour at p: its three bytes are the low bytes of the word; the
// fourth, the next byte of the window (every token lies in the window with
// bytes to spare), is carried along in the table and never emitted.
std::uint32_t LoadColor(const std::uint8_t* p) { return LoadLe32(p); }

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
// one ends the row. Short runs are stored pixel by pixel. Longer ones are
// stored as a 48-byte unit of 16 pixels, over and over, the last time ending
// exactly at the run's end: units start on pixel boundaries, so an overlap
// writes the same bytes again, and no library call is made.
ROW_STEP void FillRun(std::uint8_t* out, std::uint32_t color, std::uint32_t n, bool last_in_row) {
  if (n < 16) {
    for (std::uint32_t i = 0; i + 1 < n; ++i) std::memcpy(out + 3 * i, &color, 4);
    StorePixel(out + 3 * (n - 1), color, !last_in_row);
    return;
  }
  std::uint8_t unit[48 + 1];
  for (std::uint32_t i = 0; i < 16; ++i) std::memcpy(unit + 3 * i, &color, 4);
  const std::size_t total = std::size_t{3} * n;
  for (std::size_t done = 0; done + 48 < total; done += 48) std::memcpy(out + done, unit, 48);
  std::memcpy(out + total - 48, unit, 48);
}

// Moves four words at `top - 4 .. top - 1` up by one word, to `top - 3 .. top`:
// all four are loaded before any is stored.
ROW_STEP void ShiftFourUp(std::uint32_t* top) {
  const std::uint32_t a = top[-1], b = top[-2], c = top[-3], d = top[-4];
  top[0] = a;
  top[-1] = b;
  top[-2] = c;
  top[-3] = d;
}

// A move to the front moves the table a group of kGroup words at a time.
// Where the processor has vector registers (SSE2: every 64-bit x86, and most
// 32-bit ones, checked when decoding starts) the compiler moves four words as
// one, and a group of 16 covers almost every reference in one pass with no
// branch on the slot. Without them the words pass through the few general
// registers, and groups of 4 keep them there.
constexpr std::uint32_t kVectorGroup = 16;
constexpr std::uint32_t kWordGroup = 4;
static_assert(kShiftGuard >= kVectorGroup - 1, "a group reaches 15 words below slot 0");

// Moves the colour in `slot` (1 .. 126) to the front: slots 0 .. slot-1 move
// down by one, a group at a time from the slot downwards; no library call.
// Words below slot 0 that the last group reaches are dead space
// (kShiftGuard).
template <std::uint32_t kGroup>
ROW_STEP void MoveToFront(std::uint32_t* table, std::uint32_t slot, std::uint32_t color) {
  std::uint32_t* top = table + slot;  // the group's last destination word
  do {
    for (std::uint32_t i = 0; i < kGroup; i += 4) ShiftFourUp(top - i);
    top -= kGroup;
  } while (top > table);
  table[0] = color;
}

// The decoder's state while a row is written, held in locals: stores through
// the output pointer could otherwise alias the decoder's fields and force
// reloads after every pixel.
struct Walk {
  const std::uint8_t* cur;  // next unread byte in the window
  std::uint32_t* table;     // slot 0 of the colour table
  std::uint32_t current;
  std::uint32_t run;
  std::uint32_t repeat;
  std::int32_t slot;
};

// A colour enters the table at the front and the last entry drops out: the
// table slides down one word, and back up once it reaches the bottom of its
// room, so that a literal costs one store, not 127 moves.
ROW_STEP void PushFront(PixelDecoder& d, Walk& w, std::uint32_t color) {
  std::uint32_t* const bottom = d.recent_colors + kShiftGuard;
  if (w.table == bottom) {
    std::memmove(bottom + kTableRoom, bottom, sizeof(std::uint32_t) * (kTableSize - 1));
    w.table = bottom + kTableRoom;
  }
  *--w.table = color;
}

// A run has ended: its colour moves to the front. A literal (slot 127) drops
// the last entry, as does a reference to the last slot, which is the colour
// itself; otherwise slots 0 .. slot-1 move down.
template <std::uint32_t kGroup>
ROW_STEP void EndRun(PixelDecoder& d, Walk& w) {
  if (w.slot == kLiteralSlot) {
    PushFront(d, w, w.current);
  } else if (w.slot != 0) {
    MoveToFront<kGroup>(w.table, static_cast<std::uint32_t>(w.slot), w.current);
  }
  w.slot = 0;
}

// Notes where the data end in the window, and so how far one-byte tokens
// may be read without a look at the refill point or the data's end.
void MarkDataEnd(PixelDecoder& d, const std::uint8_t* data_end) {
  const std::uint8_t* refill_at = d.buffer + kRefillAt;
  d.data_end = data_end;
  d.fast_end = data_end < refill_at ? data_end : refill_at;
}

// Refills the window at a token start once `cur` has reached the refill
// point: the unread bytes move to the window's start and the rest is read.
// Past the end of the data the window is filled with zeros, and data_end
// marks where they begin.
bool Refill(PixelDecoder& d, Walk& w) {
  const std::uint8_t* end = d.buffer + kWindowSize;
  if (w.cur >= end) {
    RecordStatus(*d.source, BrokenData);
    return false;
  }
  auto left = static_cast<std::uint32_t>(end - w.cur);
  const auto data_left =
      d.data_end > w.cur ? static_cast<std::uint32_t>(d.data_end - w.cur) : std::uint32_t{0};
  std::memmove(d.buffer, w.cur, left);
  w.cur = d.buffer;
  std::uint32_t got = 0;
  if (!ReadSourceUpTo(*d.source, d.buffer + left, kWindowSize - left, &got)) return false;
  std::memset(d.buffer + left + got, 0, kWindowSize - left - got);
  // Once the data have ended, nothing read later counts as data.
  MarkDataEnd(d, d.buffer + data_left + (data_left == left ? got : 0));
  return true;
}

// The one-byte reference 1nns ssss (op 0xA0 and above): nn pixels of the
// colour in slot sssss.
void ReadShortReference(Walk& w, std::uint32_t op) {
  w.slot = static_cast<std::int32_t>(op & 0x1F);
  w.run = (op >> 5) & 3;
  w.current = w.table[w.slot];
}

// Reads the token at `cur`: the token grammar (see pixel_decoder.h). Sets
// the run, its slot and colour, and for a literal list the colours still to
// come after the first. False on a refill failure or a list of no colours.
ROW_STEP bool ReadToken(PixelDecoder& d, Walk& w) {
  if (w.cur >= d.buffer + kRefillAt && !Refill(d, w)) return false;
  const std::uint32_t op = *w.cur++;
  if (op >= 0xA0) {
    ReadShortReference(w, op);
  } else if (op >= 0x80) {
    const std::uint32_t b = *w.cur++;
    w.run = ((op & 0x1F) << 1) | (b >> 7);
    w.slot = static_cast<std::int32_t>(b & 0x7F);
    if (w.run == 0) {
      w.run = LoadLe32(w.cur);
      w.cur += 4;
    }
    w.current = w.table[w.slot];
  } else {
    w.run = op;
    if (op == 0) {
      w.run = LoadLe32(w.cur);
      w.cur += 4;
    } else if (op == 1) {
      w.repeat = *w.cur++;
      if (w.repeat == 0) {
        // A list of no colours would ask for 2^32 - 1 literals: not data.
        RecordStatus(*d.source, BrokenData);
        return false;
      }
      --w.repeat;
    }
    w.slot = kLiteralSlot;
    w.current = LoadColor(w.cur);
    w.cur += 3;
  }
  // Every token makes at least one pixel, so a token that reaches past the
  // data makes the picture truncated.
  if (w.cur > d.data_end) d.truncated = true;
  return true;
}

// Emits the current run, or as much of it as the row holds, and ends it
// when it is done.
template <std::uint32_t kGroup>
ROW_STEP void EmitRun(PixelDecoder& d, Walk& w, std::uint8_t*& out, std::uint32_t& left) {
  // `run - 1` makes a run of 0 (a 4-byte count of 0) the longest possible:
  // it wraps, and no picture is 2^32 pixels long.
  const std::uint32_t n = w.run - 1 < left - 1 ? w.run : left;
  if (n <= 3 && left >= 4) {
    // A short run away from the row's end: three whole-word stores,
    // whatever n is, all inside the next four pixels of the row and all
    // overwritten by the pixels that follow.
    std::memcpy(out, &w.current, 4);
    std::memcpy(out + 3, &w.current, 4);
    std::memcpy(out + 6, &w.current, 4);
  } else {
    FillRun(out, w.current, n, left == n);
  }
  left -= n;
  w.run -= n;
  out += std::size_t{3} * n;
  if (w.run == 0) EndRun<kGroup>(d, w);
}

// Emits the colours of a literal list that the row has room for: each is a
// run of one pixel that enters the table at once. Their bytes lie in the
// window (kRefillAt).
ROW_STEP void EmitLiterals(PixelDecoder& d, Walk& w, std::uint8_t*& out, std::uint32_t& left) {
  std::uint32_t n = w.repeat < left ? w.repeat : left;
  w.repeat -= n;
  left -= n;
  for (; n != 0; --n) {
    w.current = LoadColor(w.cur);
    w.cur += 3;
    StorePixel(out, w.current, n > 1 || left != 0);
    out += 3;
    PushFront(d, w, w.current);
  }
  w.slot = 0;
  if (w.cur > d.data_end) d.truncated = true;
}

// Emits one-byte references, the commonest token, one after another while
// they and at least four pixels of the row are ahead: each run (1 to 3
// pixels) then ends within the row. `limit` is the refill point, or the end
// of the data if that comes first (ReadToken judges the bytes past it).
template <std::uint32_t kGroup>
ROW_STEP void EmitShortReferences(Walk& w, std::uint8_t*& out, std::uint32_t& left,
                                  const std::uint8_t* limit) {
  while (left >= 4 && w.cur < limit && *w.cur >= 0xA0) {
    ReadShortReference(w, *w.cur++);
    std::memcpy(out, &w.current, 4);
    std::memcpy(out + 3, &w.current, 4);
    std::memcpy(out + 6, &w.current, 4);
    out += std::size_t{3} * w.run;
    left -= w.run;
    w.run = 0;
    if (w.slot != 0) MoveToFront<kGroup>(w.table, static_cast<std::uint32_t>(w.slot), w.current);
    w.slot = 0;
  }
}

// Decodes `count` pixels of a row (count > 0) with moves of kGroup words.
template <std::uint32_t kGroup>
ROW_STEP bool DecodeRowWith(PixelDecoder& d, std::uint8_t* out, std::int32_t count) {
  Walk w;
  w.cur = d.cur;
  w.table = d.recent_colors + d.front;
  w.current = d.current;
  w.run = d.run;
  w.repeat = static_cast<std::uint32_t>(d.repeat);
  w.slot = d.slot;
  auto left = static_cast<std::uint32_t>(count);
  bool ok = true;
  while (left != 0) {
    if (w.run == 0) {
      if (w.repeat != 0) {
        EmitLiterals(d, w, out, left);
        continue;
      }
      EmitShortReferences<kGroup>(w, out, left, d.fast_end);
      if (!ReadToken(d, w)) {
        ok = false;
        break;
      }
    }
    EmitRun<kGroup>(d, w, out, left);
  }
  d.cur = w.cur;
  d.front = static_cast<std::uint32_t>(w.table - d.recent_colors);
  d.current = w.current;
  d.run = w.run;
  d.repeat = static_cast<std::int32_t>(w.repeat);
  d.slot = w.slot;
  return ok;
}

// The 32-bit plug-in is built for any x86 (i686), so its vector variant is
// compiled for SSE2 on its own, and runs only where the processor says it has
// SSE2. Windows keeps a 32-bit program's stack 4-byte aligned, so that
// variant realigns its own for the vector spills.
#if defined(__i386__) && !defined(__SSE2__)
#define VECTOR_VARIANT __attribute__((target("sse2"), force_align_arg_pointer))
#else
#define VECTOR_VARIANT
#endif

VECTOR_VARIANT bool DecodeRowWithVectors(PixelDecoder& d, std::uint8_t* out, std::int32_t count) {
  return DecodeRowWith<kVectorGroup>(d, out, count);
}

bool DecodeRowWithWords(PixelDecoder& d, std::uint8_t* out, std::int32_t count) {
  return DecodeRowWith<kWordGroup>(d, out, count);
}

// Whether the processor has SSE2: always, where the compiler may assume it;
// else as the processor itself says (cpuid leaf 1, EDX bit 26). WebAssembly
// built with its 128-bit vectors has them too.
bool ProcessorHasVectors() {
#if defined(__SSE2__) || defined(__wasm_simd128__)
  return true;
#elif defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(1, &a, &b, &c, &d) != 0 && (d & bit_SSE2) != 0;
#else
  return false;
#endif
}

}  // namespace

bool PrimeDecoder(PixelDecoder& decoder, InputSource& source) {
  decoder.source = &source;
  decoder.cur = decoder.buffer;
  decoder.front = kShiftGuard + kTableRoom;
  decoder.current = 0;
  decoder.repeat = 0;
  decoder.run = 0;
  decoder.slot = 0;
  decoder.vector_moves = ProcessorHasVectors();
  decoder.truncated = false;
  std::memset(decoder.recent_colors, 0, sizeof decoder.recent_colors);
  std::uint32_t got = 0;
  if (!ReadSourceUpTo(source, decoder.buffer, kWindowSize, &got)) return false;
  std::memset(decoder.buffer + got, 0, kWindowSize - got);
  MarkDataEnd(decoder, decoder.buffer + got);
  return true;
}

bool DecodeRow(PixelDecoder& d, std::uint8_t* out, std::int32_t count) {
  if (count <= 0) return true;
  return d.vector_moves ? DecodeRowWithVectors(d, out, count) : DecodeRowWithWords(d, out, count);
}

bool RestIsOneColor(PixelDecoder& d, std::uint64_t pixels_left, std::uint32_t* color) {
  if (d.repeat != 0) return false;
  if (d.run >= pixels_left) {
    *color = d.current & 0xFFFFFF;
    return true;
  }
  if (d.run != 0 || d.cur < d.data_end) return false;
  // The next token is op 0, count 0, colour 0, 0, 0, read from the zeros.
  d.truncated = true;
  *color = 0;
  return true;
}
