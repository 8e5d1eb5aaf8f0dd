// This file contains the reading of PNG files: every kind (grey, palette,
// 16 bits, transparency) through libspng natively, through stb_image in the
// builds whose cross compilers have no libspng.
#include "image_files/image_readers.h"

#ifdef HAVE_SPNG
#include <spng.h>
#endif

#ifdef HAVE_SPNG
bool DecodePng(const std::uint8_t* data, std::size_t size, Image* image, std::string* error,
               const Background& background) {
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, data, size);
  spng_ihdr ihdr{};
  std::size_t out_size = 0;
  int status = spng_get_ihdr(ctx, &ihdr);
  if (status == 0 && !SizeAllowed(ihdr.width, ihdr.height)) {
    spng_ctx_free(ctx);
    *error = "PNG size out of range (" + std::to_string(ihdr.width) + "x" +
             std::to_string(ihdr.height) + ")";
    return false;
  }
  // Every kind of PNG (grey, palette, 16 bits, transparency) as RGBA, 8 bits;
  // 16-bit samples decoded whole and rounded here (libspng would drop their
  // low byte).
  const bool wide = ihdr.bit_depth == 16;
  const int format = wide ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
  if (status == 0) status = spng_decoded_image_size(ctx, format, &out_size);
  std::vector<std::uint8_t> rgba;
  std::vector<std::uint16_t> samples;
  if (status == 0 && wide) {
    samples.resize(out_size / 2);
    status = spng_decode_image(ctx, samples.data(), out_size, format, SPNG_DECODE_TRNS);
    rgba.resize(samples.size());
    if (status == 0) RoundTo8Bits(samples.data(), samples.size(), rgba.data());
  } else if (status == 0) {
    rgba.resize(out_size);
    status = spng_decode_image(ctx, rgba.data(), out_size, format, SPNG_DECODE_TRNS);
  }
  spng_ctx_free(ctx);
  if (status != 0) return *error = std::string("bad PNG file: ") + spng_strerror(status), false;
  Composite(rgba.data(), static_cast<std::int32_t>(ihdr.width),
            static_cast<std::int32_t>(ihdr.height), background, image);
  return true;
}
#else
bool DecodePng(const std::uint8_t* data, std::size_t size, Image* image, std::string* error,
               const Background& background) {
  return DecodeWithStb(std::vector<std::uint8_t>(data, data + size), "PNG", background, image,
                       error);
}
#endif
