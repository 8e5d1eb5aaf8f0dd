// This file contains the reading of PNM files, being a few lines of text.
#include "image_files/image_readers.h"

// PNM: "P2" (grey) or "P3" (colour) in decimal text, "P5" or "P6" in binary;
// width, height and the largest value (1 to 65535; above 255 each binary
// sample is 2 bytes, most significant first), separated by white space and
// comments, then the samples. Values are scaled to 0-255.
bool DecodePnm(const std::vector<std::uint8_t>& b, Image* image, std::string* error) {
  const char kind = static_cast<char>(b[1]);
  const bool text = kind == '2' || kind == '3';
  const int channels = kind == '3' || kind == '6' ? 3 : 1;
  std::size_t at = 2;
  // The next decimal number, after white space and comments; -1 if none.
  auto number = [&]() -> long {
    for (;;) {
      while (at < b.size() && (b[at] == ' ' || (b[at] >= '\t' && b[at] <= '\r'))) ++at;
      if (at < b.size() && b[at] == '#') {
        while (at < b.size() && b[at] != '\n') ++at;
        continue;
      }
      break;
    }
    if (at >= b.size() || b[at] < '0' || b[at] > '9') return -1;
    long value = 0;
    while (at < b.size() && b[at] >= '0' && b[at] <= '9') {
      value = value * 10 + (b[at++] - '0');
      if (value > 1000000) return -1;
    }
    return value;
  };
  const long width = number(), height = number(), largest = number();
  if (width < 0 || height < 0 || largest < 1 || largest > 65535)
    return *error = "bad PNM header", false;
  if (!SizeAllowed(width, height)) return *error = "PNM size out of range", false;
  const std::size_t samples = static_cast<std::size_t>(width) * height * channels;
  const std::size_t bytes_per_sample = largest > 255 ? 2 : 1;
  ++at;  // the single white-space byte before binary samples
  if (!text && (at > b.size() || (b.size() - at) / bytes_per_sample < samples))
    return *error = "truncated PNM pixel data", false;
  image->width = static_cast<std::int32_t>(width);
  image->height = static_cast<std::int32_t>(height);
  image->rgb.resize(3 * static_cast<std::size_t>(width) * height);
  if (text) --at;
  for (std::size_t i = 0; i < samples; ++i) {
    long value;
    if (text) {
      value = number();
      if (value < 0 || value > largest) return *error = "bad or truncated PNM samples", false;
    } else {
      value = bytes_per_sample == 2 ? (b[at] << 8 | b[at + 1]) : b[at];
      at += bytes_per_sample;
      if (value > largest) value = largest;
    }
    const auto level = static_cast<std::uint8_t>((value * 255 + largest / 2) / largest);
    if (channels == 3) {
      image->rgb[i] = level;
    } else {
      image->rgb[3 * i] = image->rgb[3 * i + 1] = image->rgb[3 * i + 2] = level;
    }
  }
  return true;
}
