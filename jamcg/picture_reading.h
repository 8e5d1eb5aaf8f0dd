// This file contains pictures as jamcg's commands decode them. Where the
// plug-in code is linked in (the Linux jamcg) the picture code decodes them
// row by row: into one block in DIB layout for convert (the picture is held
// once), or scaled down as the rows come for thumbnails, with the decoder's
// own verdict on pixel data that end early. jamcg.exe, which has only the
// DLLs, takes the DIB GetPicture hands over (used where it lies, not copied)
// and tells data that end early by decoding again with other bytes behind
// them.
//
// Decoding is bounded by a budget of decoded pixels where a command decodes
// many pictures for one result (thumbnail, check), so that an archive of
// broken pictures that claim to be huge ends quickly whatever the machine.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "image_files/image_files.h"
#include "image_files/picture_writing.h"
#include "plugin_host/plugin_calls.h"

// The status of a decoding stopped because the pixel budget ran out.
constexpr std::int32_t kOverBudget = -1001;
// The pixels a thumbnail or check may decode in all: the largest picture
// once (32767 x 32767 is just under 2^30), a few seconds of decoding.
constexpr std::uint64_t kDecodeBudget = std::uint64_t{1} << 30;

// A decoded picture, full size.
struct DecodedPicture {
  DecodedPicture() = default;
  DecodedPicture(const DecodedPicture&) = delete;
  DecodedPicture& operator=(const DecodedPicture&) = delete;
  ~DecodedPicture();
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool truncated = false;              // some pixels come from bytes past the data (black)
  const std::uint8_t* bits = nullptr;  // the pixel block in DIB layout
  void* own = nullptr;                 // linked in: the block, from calloc
  MemoryHandle block = nullptr;        // through the DLLs: GetPicture's block, locked
  PixelRows Rows() const { return DibRows(width, height, bits); }
};

// The width, height and DIB size of the picture whose stream `head` begins
// (at least 16 bytes); false when it is no GCmpSH0 picture.
bool PictureSize(const std::uint8_t* head, std::size_t size, std::int32_t* width,
                 std::int32_t* height);

// Decodes the picture in `source` (a file, or bytes in memory). Ok, or a
// plug-in status (with kUnspellableName's reason in *error); NoMemory when
// the block cannot be had. `progress` is called as GetPicture calls it;
// a nonzero result cancels (Cancelled).
std::int32_t DecodeFullSize(const PluginHost& plugins, const Source& source,
                            DecodedPicture* picture, std::string* error,
                            ProgressCallback progress = nullptr, HostInt user_data = 0);

// Decodes the picture in `source` scaled down to fit `side` x `side` (kept as
// it is if it fits), into *image (rows top down, red first), taking the
// pixels it decodes from *budget: kOverBudget when they would exceed it.
// *truncated tells whether some pixels came from bytes past the data.
std::int32_t DecodeToFit(const PluginHost& plugins, const Source& source, std::int32_t side,
                         Image* image, bool* truncated, std::uint64_t* budget,
                         const std::atomic<bool>* interrupted, std::string* error);
