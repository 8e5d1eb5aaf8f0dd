// This file contains the decoding of pictures by jamcg's commands.
#include "jamcg/picture_reading.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "file_names/output_files.h"
#include "jamcg/jamcg_session.h"
#include "picture/picture_rows.h"

namespace {

// Rows decoded between looks at progress, cancellation and the budget.
constexpr std::int32_t kRowsAtATime = 16;

bool OpenPicture(const Source& source, InputSource* input) {
  const Platform& os = SystemPlatform();
  if (source.memory)
    return OpenSource(*input, os, source.memory->data(),
                      static_cast<HostInt>(source.memory->size()), kInputMemory);
  PluginName name;  // the name as the platform layer reads it
  std::string ignored;
  SpellForPlugin(source.name, false, &name, &ignored);
  return OpenSource(*input, os, name.ansi.c_str(), 0, 0);
}

// The size that fits `side` x `side`, the picture's own if it fits.
void FitSize(std::int32_t width, std::int32_t height, std::int32_t side, std::int32_t* fit_width,
             std::int32_t* fit_height) {
  const double scale = std::min(
      1.0, std::min(static_cast<double>(side) / width, static_cast<double>(side) / height));
  *fit_width = std::max(1, static_cast<std::int32_t>(width * scale + 0.5));
  *fit_height = std::max(1, static_cast<std::int32_t>(height * scale + 0.5));
  if (scale >= 1.0) *fit_width = width, *fit_height = height;
}

// The bytes of a picture source, for the check that decodes them again.
bool SourceBytes(const Source& source, Bytes* bytes, std::string* error) {
  if (source.memory) return *bytes = *source.memory, true;
  return ReadInputFile(source.name, bytes, error);
}

// Linked in: the rows decoded from `input` into `scaling`, a few at a time,
// with progress, cancellation and the budget seen between them.
std::int32_t DecodeRows(PictureRows& rows, InputSource& input, RowScaling& scaling,
                        ProgressCallback progress, HostInt user_data, std::uint64_t* budget,
                        const std::atomic<bool>* interrupted) {
  std::vector<std::uint8_t> row(3 * static_cast<std::size_t>(rows.header.width));
  while (!PictureDone(rows)) {
    if ((interrupted != nullptr && interrupted->load()) ||
        (progress != nullptr && progress(rows.rows_done, rows.header.height, user_data) != 0))
      return Cancelled;
    const std::uint64_t cost =
        std::uint64_t{kRowsAtATime} * static_cast<std::uint32_t>(rows.header.width);
    if (budget != nullptr) {
      if (*budget < cost) return kOverBudget;
      *budget -= cost;
    }
    if (!ScaleRows(rows, scaling, row.data(), kRowsAtATime)) return input.status;
  }
  if (progress != nullptr && progress(rows.header.height, rows.header.height, user_data) != 0)
    return Cancelled;
  return Ok;
}

std::int32_t DecodeLinked(const Source& source, DecodedPicture* picture, ProgressCallback progress,
                          HostInt user_data) {
  InputSource input;
  PictureRows rows;
  if (!OpenPicture(source, &input) || !StartPictureRows(rows, input)) {
    CloseSource(input);
    return input.status;
  }
  picture->width = rows.header.width;
  picture->height = rows.header.height;
  // calloc: the padding is zero, and the system supplies a large block as
  // fresh pages.
  const std::size_t size = DibBytes(picture->width, picture->height);
  picture->own = std::calloc(size, 1);
  std::vector<std::uint64_t> memory;
  std::int32_t status = NoMemory;
  if (picture->own != nullptr) {
    picture->bits = static_cast<const std::uint8_t*>(picture->own);
    memory.resize(ScalingMemoryBytes(picture->width) / sizeof(std::uint64_t) + 1);
    const PixelRows dib = picture->Rows();
    RowScaling scaling;
    StartRowScaling(scaling, memory.data(), picture->width, picture->height, picture->width,
                    picture->height, const_cast<std::uint8_t*>(dib.top), dib.stride, false);
    status = DecodeRows(rows, input, scaling, progress, user_data, nullptr, nullptr);
    picture->truncated = rows.decoder.truncated;
  }
  CloseSource(input);
  return status;
}

std::int32_t DecodeWithDll(const PictureApi& api, const Source& source, DecodedPicture* picture,
                           std::string* error, ProgressCallback progress, HostInt user_data) {
  MemoryHandle info = nullptr, bits = nullptr;
  const std::int32_t status = DecodePicture(api, source, &info, &bits, progress, user_data, error);
  if (status != Ok) return status;
  const Bytes header = TakeResultBlock(info);
  std::memcpy(&picture->width, &header[4], 4);
  std::memcpy(&picture->height, &header[8], 4);
  picture->block = bits;
  picture->bits = static_cast<const std::uint8_t*>(OsLocalLock(SystemPlatform(), bits));
  if (picture->bits == nullptr) return MemoryError;
  // GetPicture completes data that end early with black and says nothing:
  // decoded again with other bytes behind the data, such a picture changes.
  Bytes file;
  std::string ignored;
  const std::size_t size = DibBytes(picture->width, picture->height);
  picture->truncated =
      SourceBytes(source, &file, &ignored) && (DataEndEarly(api, file, picture->bits, size, 0xFF) ||
                                               DataEndEarly(api, file, picture->bits, size, 0x5A));
  return Ok;
}

}  // namespace

DecodedPicture::~DecodedPicture() {
  std::free(own);
  if (block != nullptr) {
    const Platform& os = SystemPlatform();
    if (bits != nullptr) OsLocalUnlock(os, block);
    OsLocalFree(os, block);
  }
}

bool PictureSize(const std::uint8_t* head, std::size_t size, std::int32_t* width,
                 std::int32_t* height) {
  PictureHeader header;
  if (size < kPictureHeaderSize || !ParsePictureHeader(head, &header)) return false;
  *width = header.width;
  *height = header.height;
  return true;
}

std::int32_t DecodeFullSize(const PluginHost& plugins, const Source& source,
                            DecodedPicture* picture, std::string* error, ProgressCallback progress,
                            HostInt user_data) {
  try {
    if (plugins.linked) return DecodeLinked(source, picture, progress, user_data);
    return DecodeWithDll(plugins.picture, source, picture, error, progress, user_data);
  } catch (const std::bad_alloc&) {
    return NoMemory;
  }
}

std::int32_t DecodeToFit(const PluginHost& plugins, const Source& source, std::int32_t side,
                         Image* image, bool* truncated, std::uint64_t* budget,
                         const std::atomic<bool>* interrupted, std::string* error) {
  try {
    std::vector<std::uint64_t> memory;
    RowScaling scaling;
    auto start = [&](std::int32_t width, std::int32_t height) {
      FitSize(width, height, side, &image->width, &image->height);
      image->rgb.assign(3 * static_cast<std::size_t>(image->width) * image->height, 0);
      memory.assign(ScalingMemoryBytes(image->width) / sizeof(std::uint64_t) + 1, 0);
      StartRowScaling(scaling, memory.data(), width, height, image->width, image->height,
                      image->rgb.data(), 3 * static_cast<std::ptrdiff_t>(image->width), true);
    };
    if (plugins.linked) {
      InputSource input;
      PictureRows rows;
      std::int32_t status = Ok;
      if (OpenPicture(source, &input) && StartPictureRows(rows, input)) {
        start(rows.header.width, rows.header.height);
        status = DecodeRows(rows, input, scaling, nullptr, 0, budget, interrupted);
        *truncated = rows.decoder.truncated;
      }
      CloseSource(input);
      return input.status != Ok ? input.status : status;
    }
    // Through the DLLs the whole picture is decoded: its size is charged first.
    PictureInfoRecord record{};
    std::int32_t status = DescribePicture(plugins.picture, source, &record, error);
    if (status != Ok) return status;
    const std::uint64_t pixels = std::uint64_t{static_cast<std::uint32_t>(record.width)} *
                                 static_cast<std::uint32_t>(record.height);
    if (*budget < pixels) return kOverBudget;
    *budget -= pixels;
    DecodedPicture picture;
    status = DecodeWithDll(plugins.picture, source, &picture, error, nullptr, 0);
    if (status != Ok) return status;
    start(picture.width, picture.height);
    const PixelRows rows = picture.Rows();
    for (std::int32_t y = picture.height - 1; y >= 0; --y)
      AddSourceRow(scaling, y, rows.top + rows.stride * y);
    *truncated = picture.truncated;
    return Ok;
  } catch (const std::bad_alloc&) {
    return NoMemory;
  }
}
