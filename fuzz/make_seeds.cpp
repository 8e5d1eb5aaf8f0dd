// Writes the seed corpora of the fuzz targets, made with the project's own
// writers: small GCmpSH0 pictures of several kinds (and cut-off copies), NSC
// archives of a few shapes, each followed by the 5 option bytes the targets
// read. Usage: make_seeds FOLDER (one subfolder per target is made).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image_files/image_files.h"
#include "writers/gcmp_writer.h"
#include "writers/nsc_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

void Save(const fs::path& folder, int number, Bytes bytes, std::uint8_t choice,
          std::uint32_t word) {
  bytes.push_back(choice);
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
  std::ofstream out(folder / ("seed-" + std::to_string(number)), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<Bytes> Pictures() {
  std::mt19937 rng(1);
  std::vector<Bytes> pictures;
  const int sizes[][2] = {{1, 9}, {3, 10}, {17, 12}, {64, 40}, {200, 30}};
  for (auto [width, height] : sizes) {
    for (int kind = 0; kind < 3; ++kind) {
      Bytes pixels(3 * static_cast<std::size_t>(width) * height);
      for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::size_t pixel = i / 3;
        pixels[i] = kind == 0   ? static_cast<std::uint8_t>(pixel / 50 * 40)  // flat areas
                    : kind == 1 ? static_cast<std::uint8_t>(rng() % 4 * 64)   // few colours
                                : static_cast<std::uint8_t>(rng());           // noise
      }
      Bytes file;
      if (EncodeGcmpPicture(pixels.data(), width, height, &file)) pictures.push_back(file);
    }
  }
  return pictures;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string argument = argc == 2 ? argv[1] : "";
  if (argument == "-h" || argument == "--help") {
    std::printf(
        "usage: make_seeds FOLDER\nWrites the fuzz targets' seed inputs into FOLDER/TARGET/.\n");
    return 0;
  }
  if (argc != 2 || argument.empty() || argument[0] == '-') {
    std::fprintf(stderr, "usage: make_seeds FOLDER\n");
    return 2;
  }
  const fs::path root = argv[1];
  for (const char* t : {"picture_is_supported", "archive_is_supported", "get_picture_info",
                        "get_picture", "get_archive_info", "get_file_info", "get_file",
                        "image_files", "pixbuf_loader", "wic_stream"})
    fs::create_directories(root / t);

  const std::vector<Bytes> pictures = Pictures();
  int n = 0;
  for (const Bytes& p : pictures) {
    for (std::uint8_t choice : {0, 2, 4, 9}) {
      Save(root / "get_picture", n, p, choice, 5);
      Save(root / "get_picture_info", n, p, choice, 3);
      ++n;
    }
    Save(root / "picture_is_supported", n++, p, 0, 0);
    Save(root / "pixbuf_loader", n++, p, 0, 7);
    // Whole reads; reads of 7 bytes at most; the 5th read failing.
    Save(root / "wic_stream", n++, p, 0, 0);
    Save(root / "wic_stream", n++, p, 0, 7);
    Save(root / "wic_stream", n++, p, 2, 5 << 8);
    Save(root / "get_picture", n++, Bytes(p.begin(), p.begin() + p.size() / 2), 0, 0);
    Save(root / "wic_stream", n++, Bytes(p.begin(), p.begin() + p.size() / 2), 0, 0);
  }

  std::vector<std::vector<Bytes>> sets = {
      {Bytes{1}, Bytes{2, 3}},
      {Bytes(5, 1), Bytes(1, 2), Bytes(40, 3), Bytes()},
      {pictures[0], pictures[4], Bytes{'t', 'x', 't'}},
      std::vector<Bytes>(150, Bytes{7, 7}),
  };
  n = 0;
  for (const auto& members : sets) {
    Bytes archive;
    std::string error;
    if (!PackNscArchive(members, &archive, &error)) continue;
    const std::uint32_t second = archive[8] | (archive[9] << 8) | (archive[10] << 16);
    for (std::uint8_t choice : {0, 1, 2, 3}) {
      Save(root / "get_archive_info", n, archive, choice, 2);
      Save(root / "archive_is_supported", n, archive, 0, 0);
      Bytes named = {'2'};
      named.insert(named.end(), archive.begin(), archive.end());
      Save(root / "get_file_info", n, named, static_cast<std::uint8_t>(1 | (choice << 4)), 1);
      ++n;
    }
    for (std::uint8_t choice : {2, 10, 26, 6, 0, 8})
      Save(root / "get_file", n++, archive, choice, second);
  }
  // Picture files for jamcg's readers: BMP, PPM and, where supported, PNG.
  Image image;
  image.width = 5;
  image.height = 3;
  for (int i = 0; i < 45; ++i) image.rgb.push_back(static_cast<std::uint8_t>(i * 17));
  Save(root / "image_files", 0, EncodeBmp(image), 0, 0);
  std::string ppm = "P6\n# seed\n5 3\n255\n";
  Bytes ppm_file(ppm.begin(), ppm.end());
  ppm_file.insert(ppm_file.end(), image.rgb.begin(), image.rgb.end());
  Save(root / "image_files", 1, ppm_file, 0, 0);
  Bytes png;
  std::string error;
  if (EncodePng(image, &png, &error)) Save(root / "image_files", 2, png, 0, 0);
  // Run-length encoded BMPs, 4 x 3 pixels of a 4-colour palette: RLE8 with
  // runs, a literal list, a delta and the end; RLE4 with nibble runs.
  for (const int bits : {8, 4}) {
    Bytes bmp = {'B',
                 'M',
                 0,
                 0,
                 0,
                 0,
                 0,
                 0,
                 0,
                 0,
                 70,
                 0,
                 0,
                 0,
                 40,
                 0,
                 0,
                 0,
                 4,
                 0,
                 0,
                 0,
                 3,
                 0,
                 0,
                 0,
                 1,
                 0,
                 static_cast<std::uint8_t>(bits),
                 0,
                 static_cast<std::uint8_t>(bits == 8 ? 1 : 2)};
    bmp.resize(14 + 40, 0);
    bmp[46] = 4;  // colours used
    for (std::uint32_t colour : {0x000000u, 0xFF0000u, 0x00FF00u, 0x0000FFu})
      for (int i = 0; i < 4; ++i) bmp.push_back(static_cast<std::uint8_t>(colour >> (8 * i)));
    const Bytes rle8 = {2, 1, 2, 2, 0, 0, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 0, 4, 3, 0, 1};
    const Bytes rle4 = {4, 0x12, 0, 0, 4, 0x33, 0, 0, 4, 0x10, 0, 1};
    const Bytes& data = bits == 8 ? rle8 : rle4;
    bmp.insert(bmp.end(), data.begin(), data.end());
    Save(root / "image_files", bits == 8 ? 3 : 4, bmp, 0, 0);
  }

  std::printf("seeds written to %s\n", root.string().c_str());
  return 0;
}
