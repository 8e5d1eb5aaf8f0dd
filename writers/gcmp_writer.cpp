// This file contains the GCmpSH0 writer. The format is described in
// picture/pixel_decoder.h; this side mirrors the decoder's colour table with a
// plain array, so the two implementations check each other.
#include "writers/gcmp_writer.h"

#include <cstring>

#include "support/byte_order.h"

namespace {

constexpr int kTableSize = 128;
constexpr std::uint32_t kLongestList = 255;

struct Encoder {
  std::vector<std::uint8_t> bytes;
  std::uint32_t table[kTableSize] = {};  // all black at the start, as the decoder's
  std::size_t list_at = 0;               // count byte of the open literal list
  std::uint32_t list_count = 0;          // 0: no list open
};

// The colour of the pixel at p (blue, green, red) as the low 24 bits of a
// word; the pixel may be the last byte of the picture.
std::uint32_t ColorAt(const std::uint8_t* p) { return LoadLe16(p) | (std::uint32_t{p[2]} << 16); }

void PutColor(Encoder& e, std::uint32_t color) {
  e.bytes.push_back(static_cast<std::uint8_t>(color));
  e.bytes.push_back(static_cast<std::uint8_t>(color >> 8));
  e.bytes.push_back(static_cast<std::uint8_t>(color >> 16));
}

void PutCount(Encoder& e, std::uint32_t n) {
  e.bytes.resize(e.bytes.size() + 4);
  StoreLe32(e.bytes.data() + e.bytes.size() - 4, n);
}

int FindSlot(const Encoder& e, std::uint32_t color) {
  for (int s = 0; s < kTableSize; ++s) {
    if (e.table[s] == color) return s;
  }
  return -1;
}

// The table update at the end of a run, exactly as the decoder does it: the
// colour moves to the front from `slot` (127 for a literal, dropping the last).
void MoveToFront(Encoder& e, int slot, std::uint32_t color) {
  std::memmove(e.table + 1, e.table, sizeof(std::uint32_t) * static_cast<std::size_t>(slot));
  e.table[0] = color;
}

void PutReference(Encoder& e, int slot, std::uint32_t run) {
  const auto s = static_cast<std::uint8_t>(slot);
  if (slot < 32 && run <= 3) {
    e.bytes.push_back(static_cast<std::uint8_t>(0x80 | (run << 5) | s));
  } else if (run <= 63) {
    e.bytes.push_back(static_cast<std::uint8_t>(0x80 | (run >> 1)));
    e.bytes.push_back(static_cast<std::uint8_t>(((run & 1) << 7) | s));
  } else {
    e.bytes.push_back(0x80);
    e.bytes.push_back(s);
    PutCount(e, run);
  }
}

void PutLiteralRun(Encoder& e, std::uint32_t color, std::uint32_t run) {
  if (run == 1) {
    // A single pixel joins the open literal list, or opens one.
    if (e.list_count == 0 || e.list_count == kLongestList) {
      e.bytes.push_back(0x01);
      e.list_at = e.bytes.size();
      e.bytes.push_back(0);
      e.list_count = 0;
    }
    e.bytes[e.list_at] = static_cast<std::uint8_t>(++e.list_count);
    PutColor(e, color);
    return;
  }
  if (run <= 0x7F) {
    e.bytes.push_back(static_cast<std::uint8_t>(run));
  } else {
    e.bytes.push_back(0x00);
    PutCount(e, run);
  }
  PutColor(e, color);
}

}  // namespace

bool EncodeGcmpPicture(const std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                       std::vector<std::uint8_t>* out, EncodeProgress progress, void* context) {
  if (width < 1 || width > 32767 || height < 9 || height > 32767) return false;
  Encoder e;
  const char magic[8] = {'G', 'C', 'm', 'p', 'S', 'H', '0', '\0'};
  e.bytes.assign(magic, magic + 8);
  e.bytes.resize(16);
  StoreLe16(&e.bytes[8], static_cast<std::uint32_t>(width));
  StoreLe16(&e.bytes[10], static_cast<std::uint32_t>(height));
  StoreLe16(&e.bytes[12], 24);
  StoreLe16(&e.bytes[14], 0);
  const std::size_t total = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::size_t i = 0;
  std::size_t next_report = 0;
  while (i < total) {
    if (progress != nullptr && i >= next_report) {
      if (progress(context, i, total) != 0) return false;
      next_report = i + (std::size_t{1} << 20);
    }
    const std::uint32_t color = ColorAt(pixels + 3 * i);
    std::size_t end = i + 1;
    while (end < total && ColorAt(pixels + 3 * end) == color) ++end;
    const auto run = static_cast<std::uint32_t>(end - i);
    const int slot = FindSlot(e, color);
    if (slot >= 0) {
      e.list_count = 0;
      PutReference(e, slot, run);
      MoveToFront(e, slot, color);
    } else {
      if (run != 1) e.list_count = 0;
      PutLiteralRun(e, color, run);
      MoveToFront(e, kTableSize - 1, color);
    }
    i = end;
  }
  *out = std::move(e.bytes);
  return true;
}
