// Fuzz target: jamcg's readers of PNG, BMP and PPM files. Whatever the bytes,
// a reader either refuses them with a reason or gives a picture whose pixel
// count matches its size; and a picture it gives is written back as BMP and
// read again unchanged.
#include "image_files/image_files.h"

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  GuardedBytes copy(data, size);
  const std::vector<std::uint8_t> bytes(copy.data, copy.data + copy.size);
  Image image;
  std::string error;
  if (!DecodeImage(bytes, &image, &error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(image.width > 0 && image.height > 0);
  FUZZ_CHECK(image.rgb.size() == 3 * static_cast<std::size_t>(image.width) * image.height);
  if (image.rgb.size() > (1u << 22)) return 0;
  Image again;
  FUZZ_CHECK(DecodeImage(EncodeBmp(image), &again, &error));
  FUZZ_CHECK(again.width == image.width && again.height == image.height && again.rgb == image.rgb);
  return 0;
}
