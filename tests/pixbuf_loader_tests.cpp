// Tests of the GdkPixbuf loader module with the real library: GCmpSH0 files
// loaded whole and in small increments give the pixels of the picture they
// were made from; truncated, corrupt and hostile files give a GError; loads
// from several threads at once agree. GDK_PIXBUF_MODULE_FILE points at a
// loaders cache that names the module in the build tree.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tests/test_files.h"
#include "image_files/image_files.h"
#include "writers/gcmp_writer.h"

namespace {

Image Sample(int width, int height) {
  Image image;
  image.width = width;
  image.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool flat = (x / 8 + y / 4) % 2 == 0;
      image.rgb.push_back(static_cast<std::uint8_t>(flat ? 10 : x * 9));
      image.rgb.push_back(static_cast<std::uint8_t>(flat ? 200 : y * 13));
      image.rgb.push_back(static_cast<std::uint8_t>(flat ? 30 : (x ^ y) * 5));
    }
  }
  return image;
}

Bytes Encode(const Image& image) {
  Bytes file;
  EXPECT_TRUE(EncodeGcmpPicture(StreamPixels(image).data(), image.width, image.height, &file));
  return file;
}

// The pixbuf's pixels as RGB rows, top to bottom, without row padding.
Bytes Pixels(GdkPixbuf* pixbuf) {
  Bytes rgb;
  const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf), stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guint8* pixels = gdk_pixbuf_read_pixels(pixbuf);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) rgb.push_back(pixels[y * stride + x * channels + c]);
    }
  }
  return rgb;
}

// Feeds `file` to a loader in pieces of `piece` bytes, asking for width x
// height when they are given, as thumbnailers do; the pixbuf, or null with
// *error set.
GdkPixbuf* LoadInPieces(const Bytes& file, std::size_t piece, GError** error, int width = 0,
                        int height = 0) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  if (width > 0) gdk_pixbuf_loader_set_size(loader, width, height);
  bool ok = true;
  for (std::size_t at = 0; ok && at < file.size(); at += piece)
    ok =
        gdk_pixbuf_loader_write(loader, file.data() + at, std::min(piece, file.size() - at), error);
  ok = gdk_pixbuf_loader_close(loader, ok ? error : nullptr) && ok;
  GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf != nullptr) g_object_ref(pixbuf);
  g_object_unref(loader);
  return pixbuf;
}

TEST(PixbufLoader, WholeFilesWhateverTheirNameGiveTheSourcePixels) {
  TempDir dir;
  for (auto [width, height] : {std::pair{1, 9}, {37, 20}, {300, 41}}) {
    const Image image = Sample(width, height);
    const std::string path = dir.File("no-extension");
    WriteFile(path, Encode(image));
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), &error);
    ASSERT_NE(pixbuf, nullptr) << (error ? error->message : "");
    EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), width);
    EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), height);
    EXPECT_FALSE(gdk_pixbuf_get_has_alpha(pixbuf));
    EXPECT_EQ(Pixels(pixbuf), image.rgb);
    g_object_unref(pixbuf);
    int info_width = 0, info_height = 0;
    GdkPixbufFormat* format = gdk_pixbuf_get_file_info(path.c_str(), &info_width, &info_height);
    ASSERT_NE(format, nullptr);
    gchar* name = gdk_pixbuf_format_get_name(format);
    EXPECT_STREQ(name, "gcmpsh0");
    g_free(name);
  }
}

TEST(PixbufLoader, SmallIncrementsGiveTheSamePixels) {
  const Image image = Sample(64, 30);
  const Bytes file = Encode(image);
  for (std::size_t piece : {1, 7, 4096}) {
    GError* error = nullptr;
    GdkPixbuf* pixbuf = LoadInPieces(file, piece, &error);
    ASSERT_NE(pixbuf, nullptr) << piece << ": " << (error ? error->message : "");
    EXPECT_EQ(Pixels(pixbuf), image.rgb) << piece;
    g_object_unref(pixbuf);
  }
}

// The picture scaled to width x height, each pixel the rounded mean of the
// pixels it covers (columns x * W / w up to (x + 1) * W / w, rows likewise).
Bytes BoxScaled(const Image& image, int width, int height) {
  Bytes out;
  for (int y = 0; y < height; ++y) {
    const int y0 = y * image.height / height, y1 = (y + 1) * image.height / height;
    for (int x = 0; x < width; ++x) {
      const int x0 = x * image.width / width, x1 = (x + 1) * image.width / width;
      for (int c = 0; c < 3; ++c) {
        unsigned sum = 0;
        for (int sy = y0; sy < y1; ++sy) {
          for (int sx = x0; sx < x1; ++sx) sum += image.rgb[3 * (sy * image.width + sx) + c];
        }
        const unsigned count = static_cast<unsigned>((y1 - y0) * (x1 - x0));
        out.push_back(static_cast<std::uint8_t>((sum + count / 2) / count));
      }
    }
  }
  return out;
}

// Loads `file` in one piece asking for width x height.
GdkPixbuf* LoadAtSize(const Bytes& file, int width, int height, GError** error) {
  return LoadInPieces(file, file.size(), error, width, height);
}

TEST(PixbufLoader, SmallerSizesAreScaledAsTheRowsCome) {
  const Image image = Sample(37, 20);
  const Bytes file = Encode(image);
  for (auto [width, height] : {std::pair{37, 20}, {10, 5}, {36, 19}, {1, 1}, {37, 3}}) {
    SCOPED_TRACE(testing::Message() << width << "x" << height);
    GError* error = nullptr;
    GdkPixbuf* pixbuf = LoadAtSize(file, width, height, &error);
    ASSERT_NE(pixbuf, nullptr) << (error ? error->message : "");
    EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), width);
    EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), height);
    EXPECT_EQ(Pixels(pixbuf), BoxScaled(image, width, height));
    g_object_unref(pixbuf);
  }
  // 32000 x 21000 in 24 bytes, one colour throughout: over the pixel limit
  // at full size, a thumbnail at 256.
  Bytes huge = {'G', 'C', 'm', 'p', 'S', 'H', '0', 0, 0x00, 0x7D, 0x08, 0x52, 24, 0, 0, 0,
                0x00, 0, 0, 0, 0, 0x30, 0x20, 0x10};
  GError* error = nullptr;
  EXPECT_EQ(LoadAtSize(huge, 32000, 21000, &error), nullptr);
  ASSERT_NE(error, nullptr);
  g_clear_error(&error);
  GdkPixbuf* thumbnail = LoadAtSize(huge, 256, 168, &error);
  ASSERT_NE(thumbnail, nullptr) << (error ? error->message : "");
  const Bytes pixels = Pixels(thumbnail);
  EXPECT_EQ(pixels.size(), 3u * 256 * 168);
  EXPECT_EQ(Bytes(pixels.begin(), pixels.begin() + 3), (Bytes{0x10, 0x20, 0x30}));
  EXPECT_EQ(Bytes(pixels.end() - 3, pixels.end()), (Bytes{0x10, 0x20, 0x30}));
  g_object_unref(thumbnail);
}

TEST(PixbufLoader, BadFilesGiveAnErrorAndNoPicture) {
  const Bytes good = Encode(Sample(16, 9));
  Bytes broken = good;
  broken[16] = 0x01, broken[17] = 0x00;  // a literal list of no colours
  Bytes tall = good;
  tall[10] = 8;  // height 8: below the format's least
  struct Case {
    const char* what;
    Bytes file;
  } cases[] = {
      {"the header cut short", Bytes(good.begin(), good.begin() + 12)},
      {"broken pixel data", broken},
      {"a height of 8", tall},
      {"empty", Bytes{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GError* error = nullptr;
    GdkPixbuf* pixbuf = LoadInPieces(c.file, 5, &error);
    EXPECT_EQ(pixbuf, nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_NE(std::string(error->message), "");
    g_error_free(error);
  }
  // Data that end early decode, black after the last coded run, as hosts see them.
  GError* error = nullptr;
  GdkPixbuf* cut = LoadInPieces(Bytes(good.begin(), good.end() - 10), 64, &error);
  ASSERT_NE(cut, nullptr) << (error ? error->message : "");
  g_object_unref(cut);
}

TEST(PixbufLoader, LoadsFromSeveralThreadsAgree) {
  const Image image = Sample(120, 50);
  const Bytes file = Encode(image);
  std::vector<int> mismatches(6, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 10; ++round) {
        GdkPixbuf* pixbuf = LoadInPieces(file, 100 + t, nullptr);
        if (pixbuf == nullptr || Pixels(pixbuf) != image.rgb) ++mismatches[t];
        if (pixbuf != nullptr) g_object_unref(pixbuf);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 6; ++t) EXPECT_EQ(mismatches[t], 0) << t;
}

}  // namespace
