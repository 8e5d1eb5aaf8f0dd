// Fuzz target: the GdkPixbuf loader module, fed any bytes in increments of a
// size taken from the input, as a viewer feeds a file it is reading. A load
// succeeds exactly when GetPicture accepts the same bytes, and then gives a
// pixbuf of the picture's size; anything else is a GError, never a crash.
#define GDK_PIXBUF_ENABLE_BACKEND
#include <gdk-pixbuf/gdk-pixbuf-io.h>

#include "fuzz/fuzz_support.h"
#include "picture/picture_plugin.h"

extern "C" void fill_vtable(GdkPixbufModule* module);

namespace {

struct Loaded {
  int width = 0, height = 0;
  bool prepared = false;
};

void Prepared(GdkPixbuf* pixbuf, GdkPixbufAnimation*, gpointer data) {
  auto* loaded = static_cast<Loaded*>(data);
  loaded->prepared = true;
  loaded->width = gdk_pixbuf_get_width(pixbuf);
  loaded->height = gdk_pixbuf_get_height(pixbuf);
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
  GError* error = nullptr;
  gpointer context = module.begin_load(nullptr, Prepared, nullptr, &loaded, &error);
  FUZZ_CHECK(context != nullptr);
  const std::size_t piece = 1 + in.word % 4096;
  for (std::size_t at = 0; at < in.size; at += piece)
    FUZZ_CHECK(module.load_increment(context, in.data + at,
                                     static_cast<guint>(std::min(piece, in.size - at)), &error));
  const bool loaded_ok = module.stop_load(context, &error);
  MemoryHandle info = nullptr, bits = nullptr;
  const std::int32_t status = picture::GetPicture(
      SystemPlatform(), in.data, static_cast<HostInt>(in.size), 1, &info, &bits, nullptr, 0);
  FUZZ_CHECK(loaded_ok == (status == Ok));
  FUZZ_CHECK(loaded_ok == (error == nullptr));
  FUZZ_CHECK(loaded_ok == loaded.prepared);
  if (status == Ok) {
    FUZZ_CHECK(loaded.width == header.width && loaded.height == header.height);
    OsLocalFree(SystemPlatform(), info);
    OsLocalFree(SystemPlatform(), bits);
  }
  if (error != nullptr) g_error_free(error);
  return 0;
}
