// This file contains the GdkPixbuf loader module for GCmpSH0 pictures: image
// viewers and thumbnailers built on GdkPixbuf open the pictures through it.
// It decodes with the picture plug-in's own GetPicture, from a memory block,
// so there is one decoder in the project, not two. Files are recognised by
// their first 8 bytes, "GCmpSH0" and a zero, whatever their name.
//
// Loading, whole or in increments, gathers the file's bytes and decodes them
// at the end: the format has no rows that could be shown before the picture
// is complete. Every call works on its own context; nothing is shared, so
// loads may run in several threads at once.
#define GDK_PIXBUF_ENABLE_BACKEND  // the module interface
#include <gdk-pixbuf/gdk-pixbuf-io.h>

#include <cstdio>
#include <cstring>

#include "picture/picture_plugin.h"
#include "support/result_block.h"

namespace {

struct LoadContext {
  GdkPixbufModuleSizeFunc size_func;
  GdkPixbufModulePreparedFunc prepared_func;
  GdkPixbufModuleUpdatedFunc updated_func;
  gpointer user_data;
  GByteArray* bytes;
};

void Fail(GError** error, int code, const char* message) {
  g_set_error_literal(error, GDK_PIXBUF_ERROR, code, message);
}

// What a status of GetPicture means for a viewer.
void FailWithStatus(GError** error, std::int32_t status) {
  switch (status) {
    case UnsupportedFormat:
      Fail(error, GDK_PIXBUF_ERROR_UNKNOWN_TYPE, "Not a GCmpSH0 picture (bad header)");
      break;
    case BrokenData:
      Fail(error, GDK_PIXBUF_ERROR_CORRUPT_IMAGE, "Broken GCmpSH0 pixel data");
      break;
    case NoMemory:
    case MemoryError:
      Fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY,
           "Not enough memory for the GCmpSH0 picture");
      break;
    default: Fail(error, GDK_PIXBUF_ERROR_FAILED, "Cannot decode the GCmpSH0 picture"); break;
  }
}

// Decodes a whole GCmpSH0 file held in memory into a new pixbuf, or null
// with *error set.
GdkPixbuf* Decode(const guint8* data, gsize size, GError** error) {
  if (size > G_MAXINT32) {
    Fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, "GCmpSH0 file too large");
    return nullptr;
  }
  const Platform& os = SystemPlatform();
  MemoryHandle info = nullptr, bits = nullptr;
  const std::int32_t status = picture::GetPicture(os, data, static_cast<HostInt>(size),
                                                  kInputMemory, &info, &bits, nullptr, 0);
  if (status != Ok) {
    FailWithStatus(error, status);
    return nullptr;
  }
  const auto* header = static_cast<const std::uint8_t*>(OsLocalLock(os, info));
  const auto* dib = static_cast<const std::uint8_t*>(OsLocalLock(os, bits));
  std::int32_t width = 0, height = 0;
  std::memcpy(&width, header + 4, 4);
  std::memcpy(&height, header + 8, 4);
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  if (pixbuf == nullptr) {
    Fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, "Not enough memory for the GCmpSH0 picture");
  } else {
    // The DIB's rows are bottom-up, blue-green-red, each padded to 4 bytes.
    const std::size_t stride = (3 * static_cast<std::size_t>(width) + 3) / 4 * 4;
    const int out_stride = gdk_pixbuf_get_rowstride(pixbuf);
    guint8* out = gdk_pixbuf_get_pixels(pixbuf);
    for (std::int32_t y = 0; y < height; ++y) {
      const std::uint8_t* row = dib + stride * static_cast<std::size_t>(height - 1 - y);
      guint8* to = out + static_cast<std::ptrdiff_t>(out_stride) * y;
      for (std::int32_t x = 0; x < width; ++x) {
        to[3 * x] = row[3 * x + 2];
        to[3 * x + 1] = row[3 * x + 1];
        to[3 * x + 2] = row[3 * x];
      }
    }
  }
  OsLocalUnlock(os, bits);
  OsLocalUnlock(os, info);
  OsLocalFree(os, bits);
  OsLocalFree(os, info);
  return pixbuf;
}

GdkPixbuf* LoadWhole(FILE* file, GError** error) {
  GByteArray* bytes = g_byte_array_new();
  guint8 piece[65536];
  for (std::size_t got; (got = std::fread(piece, 1, sizeof piece, file)) != 0;)
    g_byte_array_append(bytes, piece, static_cast<guint>(got));
  GdkPixbuf* pixbuf = nullptr;
  if (std::ferror(file)) {
    Fail(error, GDK_PIXBUF_ERROR_FAILED, "Cannot read the GCmpSH0 file");
  } else {
    pixbuf = Decode(bytes->data, bytes->len, error);
  }
  g_byte_array_unref(bytes);
  return pixbuf;
}

gpointer BeginLoad(GdkPixbufModuleSizeFunc size_func, GdkPixbufModulePreparedFunc prepared_func,
                   GdkPixbufModuleUpdatedFunc updated_func, gpointer user_data, GError**) {
  auto* context = g_new0(LoadContext, 1);
  context->size_func = size_func;
  context->prepared_func = prepared_func;
  context->updated_func = updated_func;
  context->user_data = user_data;
  context->bytes = g_byte_array_new();
  return context;
}

gboolean LoadIncrement(gpointer data, const guchar* buffer, guint size, GError**) {
  auto* context = static_cast<LoadContext*>(data);
  g_byte_array_append(context->bytes, buffer, size);
  return TRUE;
}

gboolean StopLoad(gpointer data, GError** error) {
  auto* context = static_cast<LoadContext*>(data);
  GdkPixbuf* pixbuf = Decode(context->bytes->data, context->bytes->len, error);
  const bool ok = pixbuf != nullptr;
  if (ok) {
    int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
    if (context->size_func != nullptr) context->size_func(&width, &height, context->user_data);
    if (context->prepared_func != nullptr)
      context->prepared_func(pixbuf, nullptr, context->user_data);
    if (context->updated_func != nullptr)
      context->updated_func(pixbuf, 0, 0, gdk_pixbuf_get_width(pixbuf),
                            gdk_pixbuf_get_height(pixbuf), context->user_data);
    g_object_unref(pixbuf);
  }
  g_byte_array_unref(context->bytes);
  g_free(context);
  return ok ? TRUE : FALSE;
}

}  // namespace

extern "C" {

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule* module) {
  module->load = LoadWhole;
  module->begin_load = BeginLoad;
  module->stop_load = StopLoad;
  module->load_increment = LoadIncrement;
}

G_MODULE_EXPORT void fill_info(GdkPixbufFormat* info) {
  // "GCmpSH0" and a zero byte ('z' in the mask).
  static GdkPixbufModulePattern signature[] = {
      {const_cast<char*>("GCmpSH0 "), const_cast<char*>("       z"), 100},
      {nullptr, nullptr, 0},
  };
  static const gchar* mime_types[] = {"image/x-gcmpsh0", nullptr};
  static const gchar* extensions[] = {"gcmp", nullptr};
  info->name = const_cast<gchar*>("gcmpsh0");
  info->signature = signature;
  info->description = const_cast<gchar*>("GCmpSH0 picture (Jam/PIL CG)");
  info->mime_types = const_cast<gchar**>(mime_types);
  info->extensions = const_cast<gchar**>(extensions);
  info->flags = GDK_PIXBUF_FORMAT_THREADSAFE;
  info->license = const_cast<gchar*>("Unknown");
}

}  // extern "C"
