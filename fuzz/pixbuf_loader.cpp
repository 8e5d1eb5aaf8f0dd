// Fuzz target: the GdkPixbuf loader module, fed any bytes in increments of a
// size taken from the input, as a viewer feeds a file it is reading, at full
// size or at a smaller size asked by the size callback. A load succeeds
// exactly when GetPicture accepts the same bytes, and then gives a pixbuf of
// the size asked, at full size with GetPicture's pixels; anything else is a
// GError, never a crash.
#define GDK_PIXBUF_ENABLE_BACKEND
#include <gdk-pixbuf/gdk-pixbuf-io.h>

#include "fuzz/fuzz_support.h"
#include "picture/picture_plugin.h"

extern "C" void fill_vtable(GdkPixbufModule* module);

namespace {

struct Loaded {
  bool smaller = false;  // ask for a third of the width and a fifth of the height
  bool none = false;     // ask for 0 x 0: nothing is to be loaded
  GdkPixbuf* pixbuf = nullptr;
};

void Size(gint* width, gint* height, gpointer data) {
  const Loaded& loaded = *static_cast<Loaded*>(data);
  if (loaded.none) {
    *width = *height = 0;
    return;
  }
  if (!loaded.smaller) return;
  *width = *width / 3 + 1;
  *height = *height / 5 + 1;
}

void Prepared(GdkPixbuf* pixbuf, GdkPixbufAnimation*, gpointer data) {
  static_cast<Loaded*>(data)->pixbuf = static_cast<GdkPixbuf*>(g_object_ref(pixbuf));
}

// True when the pixbuf holds the DIB's picture: rows top-down, red first.
bool SamePixels(GdkPixbuf* pixbuf, const std::uint8_t* dib, int width, int height) {
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guint8* pixels = gdk_pixbuf_get_pixels(pixbuf);
  const std::size_t dib_stride = (3 * static_cast<std::size_t>(width) + 3) / 4 * 4;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* from = dib + dib_stride * static_cast<std::size_t>(height - 1 - y);
    const guint8* to = pixels + static_cast<std::ptrdiff_t>(stride) * y;
    for (int x = 0; x < width; ++x) {
      if (to[3 * x] != from[3 * x + 2] || to[3 * x + 1] != from[3 * x + 1] ||
          to[3 * x + 2] != from[3 * x])
        return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* raw, std::size_t raw_size) {
  const FuzzInput in = SplitInput(raw, raw_size);
  PictureHeader header{};
  std::uint8_t head[16] = {};
  std::memcpy(head, in.data, in.size < 16 ? in.size : 16);
  if (ParsePictureHeader(head, &header) && std::int64_t{header.width} * header.height > (1 << 20))
    return 0;  // large pictures find nothing small ones do not, only slower
  GdkPixbufModule module{};
  fill_vtable(&module);
  Loaded loaded;
  loaded.smaller = (in.word & 0x10000) != 0;
  loaded.none = (in.word & 0x60000) == 0x60000;
  GError* error = nullptr;
  gpointer context = module.begin_load(Size, Prepared, nullptr, &loaded, &error);
  FUZZ_CHECK(context != nullptr);
  const std::size_t piece = 1 + in.word % 4096;
  bool loaded_ok = true;
  for (std::size_t at = 0; at < in.size && loaded_ok; at += piece) {
    loaded_ok = module.load_increment(context, in.data + at,
                                      static_cast<guint>(std::min(piece, in.size - at)), &error);
    FUZZ_CHECK(loaded_ok == (error == nullptr));
  }
  // As GdkPixbuf does, the load is stopped (and its context freed) either way.
  GError* stop_error = nullptr;
  loaded_ok = module.stop_load(context, loaded_ok ? &error : &stop_error) && loaded_ok;
  if (stop_error != nullptr) g_error_free(stop_error);
  MemoryHandle info = nullptr, bits = nullptr;
  const std::int32_t status = picture::GetPicture(
      SystemPlatform(), in.data, static_cast<HostInt>(in.size), 1, &info, &bits, nullptr, 0);
  FUZZ_CHECK(loaded_ok == (status == Ok && !loaded.none));
  FUZZ_CHECK(loaded_ok == (error == nullptr));
  if (loaded.none) FUZZ_CHECK(loaded.pixbuf == nullptr);
  if (loaded_ok) {
    FUZZ_CHECK(loaded.pixbuf != nullptr);
    const int width = header.width, height = header.height;
    const int want_width = loaded.smaller ? width / 3 + 1 : width;
    const int want_height = loaded.smaller ? height / 5 + 1 : height;
    FUZZ_CHECK(gdk_pixbuf_get_width(loaded.pixbuf) == std::min(want_width, width));
    FUZZ_CHECK(gdk_pixbuf_get_height(loaded.pixbuf) == std::min(want_height, height));
    if (!loaded.smaller) {
      const Platform& os = SystemPlatform();
      FUZZ_CHECK(SamePixels(loaded.pixbuf, static_cast<const std::uint8_t*>(OsLocalLock(os, bits)),
                            width, height));
      OsLocalUnlock(os, bits);
    }
  }
  if (status == Ok) {
    OsLocalFree(SystemPlatform(), info);
    OsLocalFree(SystemPlatform(), bits);
  }
  if (loaded.pixbuf != nullptr) g_object_unref(loaded.pixbuf);
  if (error != nullptr) g_error_free(error);
  return 0;
}
