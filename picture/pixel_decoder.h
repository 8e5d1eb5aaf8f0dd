// This file contains the GCmpSH0 pixel stream decoder.
//
// The stream that follows the 16-byte header codes a 24-bit picture, row
// after row from the first row of the stream, as a sequence of runs. Each run
// repeats one colour, given literally or taken from a table of the 128 most
// recently used colours in move-to-front order. A token starts with one byte,
// op (bits drawn high to low):
//
//   0000 0000  n:u32  c:3        run of n pixels of literal colour c
//   0000 0001  k:u8   c:3 * k    k runs of one pixel, each colour literal
//   0nnn nnnn         c:3        run of n pixels (2..127) of literal colour c
//   100h hhhh  lsss ssss [n:u32] run of (hhhhh << 1 | l) pixels (1..63) of
//                                table colour sssssss; when that is 0, the
//                                4-byte n follows and gives the run
//   1nns ssss                    run of nn pixels (1..3, nn != 00) of table
//                                colour sssss (0..31)
//
// Numbers are little-endian; a colour is three bytes in the order a 24-bit DIB
// pixel holds them (blue, green, red) and is copied unchanged. A run's length
// is decremented before it is tested, so a 4-byte count of 0 never ends: its
// colour fills the rest of the picture.
//
// The colour table starts with all 128 entries 0, 0, 0. It changes only when
// a run ends: the run's colour moves to the front. A literal colour enters at
// the front and pushes every entry down, dropping the last; a table colour
// from slot s moves to the front and slots 0 .. s-1 move down by one. So
// after 01 03 X Y Z the table begins Z, Y, X.
//
// Input comes through a 3072-byte window refilled from the input source.
// Past the end of the data the source supplies zeros, so a stream that ends
// early completes its last token with zeros and then decodes as runs of
// black (op 0, count 0, colour 0, 0, 0) to the end of the picture. The
// decoder keeps track of where the data end in its window and notes when a
// pixel owes anything to those zeros: the picture is then truncated (hosts
// see the same pixels either way; tools tell the user).
#pragma once

#include <cstdint>

#include "support/input_source.h"

constexpr std::uint32_t kWindowSize = 3072;
// The longest token: a literal list of 255 colours, 2 + 255 * 3 bytes.
constexpr std::uint32_t kLongestToken = 767;
// The window is refilled at a token start once fewer than 769 unread bytes
// remain: so at least 769 unread bytes lie ahead of every token start, every
// token lies whole in the window and its bytes need no bounds checks.
constexpr std::uint32_t kRefillAt = kWindowSize - kLongestToken - 1;
static_assert(kRefillAt == 2304);
constexpr std::uint32_t kTableSize = 128;
constexpr std::int32_t kLiteralSlot = 127;
// Room below the table into which literals enter: the table slides down one
// entry per literal and is copied back up only once every 384 literals.
constexpr std::uint32_t kTableRoom = 384;
// Below the room, words that a move to the front may overwrite: it moves
// groups of up to 16 entries, and those of the last group that lie below
// slot 0 are no longer part of the table.
constexpr std::uint32_t kShiftGuard = 16;

struct PixelDecoder {
  InputSource* source;  // refills are read from it; failures recorded in it
  std::uint8_t buffer[kWindowSize];
  const std::uint8_t* cur;  // next unread byte in buffer
  // The colour table: slot i is recent_colors[front + i], so that a literal
  // entering at the front costs one store (front moves down), not 127 moves,
  // and a colour moving to the front from slot s moves only slots 0 .. s-1.
  // A colour is bytes 0-2 of an entry (lowest byte first); byte 3 is carried
  // along and never emitted.
  std::uint32_t recent_colors[kShiftGuard + kTableRoom + kTableSize];
  std::uint32_t front;
  std::uint32_t current;  // the colour being emitted
  std::int32_t repeat;    // literals still to come in the current literal list
  std::uint32_t run;      // pixels still to emit in the current run
  std::int32_t slot;      // table slot `current` came from; 127 for a literal
  bool vector_moves;      // the processor has SSE2: the table moves 16 words at a time
  // One past the window's last byte of data: from here on the window holds
  // the zeros supplied past the end of the data (buffer + kWindowSize while
  // the data go on).
  const std::uint8_t* data_end;
  // The refill point or data_end, whichever comes first: one-byte tokens
  // before it need no look at either.
  const std::uint8_t* fast_end;
  // A pixel was made from bytes past the end of the data.
  bool truncated;
};

// Reads the first 3072 bytes of the stream into the window and starts the
// table all black. A failed read leaves ReadError in the source.
bool PrimeDecoder(PixelDecoder& decoder, InputSource& source);

// Writes exactly `count` pixels (3 * count bytes) at `out`; a count of 0 or
// less writes nothing. Runs and literal lists carry over between calls.
// Fails with BrokenData when a token would start at or past the window's end
// or a literal list has a count of 0 (which would run outside the window),
// and with ReadError when a refill read fails.
bool DecodeRow(PixelDecoder& decoder, std::uint8_t* out, std::int32_t count);

// True when all of the next `pixels_left` pixels (at least 1) have one
// colour, put in *color (bytes 0-2): the current run lasts beyond them, or
// the next token lies past the end of the data, which makes a run of black
// to the end (then the picture is marked truncated, as decoding those pixels
// would mark it). A caller that knows the colour may write those pixels
// itself instead of decoding them.
bool RestIsOneColor(PixelDecoder& decoder, std::uint64_t pixels_left, std::uint32_t* color);
