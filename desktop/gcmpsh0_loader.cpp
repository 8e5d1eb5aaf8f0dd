// This file contains the GdkPixbuf loader module for GCmpSH0 pictures: image
// viewers and thumbnailers built on GdkPixbuf open the pictures through it.
// It decodes with the picture plug-in's own decoder, so there is one decoder
// in the project, not two. Files are recognised by their first 8 bytes,
// "GCmpSH0" and a zero, whatever their name.
//
// It runs by itself on every picture a file manager meets, so what a load
// costs follows what the file holds, never what its header claims:
// - the size callback is asked as soon as the 16-byte header has come; a size
//   of 0 stops the load before anything is allocated; a picture over
//   kPixelLimit pixels is refused at full size (a smaller size still loads);
// - rows are decoded as the bytes come and go straight into the pixbuf,
//   scaled down as they come when a smaller size is asked, so the full-size
//   picture is never held (RowScaling);
// - the bytes are fed in (load_increment) in any amounts, but only what the
//   next row may need is kept: a row of W pixels takes at most 8 * W bytes of
//   stream (every token makes at least one pixel and is at most 8 bytes per
//   pixel it makes) beyond the decoder's 3072-byte window, so a row is decoded
//   once that much has come, or the file has ended;
// - once the picture is complete, further bytes are ignored unread.
// Data that end early give the picture with a black rest, as the plug-in
// does; broken pixel data are an error. Every load works on its own context;
// nothing is shared, so loads may run in several threads at once.
#define GDK_PIXBUF_ENABLE_BACKEND  // the module interface
#include <gdk-pixbuf/gdk-pixbuf-io.h>

#include <cstdio>
#include <cstring>

#include "picture/picture_rows.h"

namespace {

// Bytes taken from the caller at a time, so that a large increment is not
// stored whole.
constexpr gsize kSlice = 64 * 1024;

// Header: fewer than 16 bytes have come. Window: the header is read and the
// pixbuf made; the decoder waits for its first window (and a row's worth).
// Rows: decoding. Done: the picture is complete.
enum class Stage { Header, Window, Rows, Done, Failed };

struct LoadContext {
  GdkPixbufModuleSizeFunc size_func;
  GdkPixbufModulePreparedFunc prepared_func;
  GdkPixbufModuleUpdatedFunc updated_func;
  gpointer user_data;
  Stage stage;
  // Bytes that have come and that the decoder has not yet taken into its
  // window: pending[taken .. size).
  guint8* pending;
  gsize size, room, taken;
  InputSource input;  // memory input over the pending bytes
  PictureRows rows;
  GdkPixbuf* pixbuf;
  RowScaling scaling;
  void* scaling_memory;
  guint8* row;  // one decoded row
  gsize row_need;  // bytes a row may take beyond the window
};

void Fail(GError** error, int code, const char* message) {
  g_set_error_literal(error, GDK_PIXBUF_ERROR, code, message);
}

void FailForMemory(GError** error) {
  Fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, "Not enough memory for the GCmpSH0 picture");
}

// Keeps bytes for the decoder: drops what it has taken, then appends.
bool Keep(LoadContext& c, const guint8* bytes, gsize count) {
  if (c.taken != 0) {
    std::memmove(c.pending, c.pending + c.taken, c.size - c.taken);
    c.size -= c.taken;
    c.taken = 0;
  }
  if (c.size + count > c.room) {
    const gsize room = c.size + count + kSlice;
    auto* grown = static_cast<guint8*>(g_try_realloc(c.pending, room));
    if (grown == nullptr) return false;
    c.pending = grown;
    c.room = room;
  }
  std::memcpy(c.pending + c.size, bytes, count);
  c.size += count;
  return true;
}

// The size to decode at: what the size callback asks, but never larger than
// the picture (GdkPixbuf scales a loaded picture up itself).
bool ChooseSize(LoadContext& c, int* width, int* height, GError** error) {
  const int full_width = c.rows.header.width, full_height = c.rows.header.height;
  *width = full_width;
  *height = full_height;
  if (c.size_func != nullptr) c.size_func(width, height, c.user_data);
  if (*width <= 0 || *height <= 0) {
    Fail(error, GDK_PIXBUF_ERROR_FAILED, "No size asked for the GCmpSH0 picture");
    return false;
  }
  if (*width > full_width) *width = full_width;
  if (*height > full_height) *height = full_height;
  if (*width == full_width && *height == full_height && PixelCount(c.rows.header) > kPixelLimit) {
    Fail(error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY,
         "The GCmpSH0 picture is too large to show at full size");
    return false;
  }
  return true;
}

// The header has come: asks for the size and makes the pixbuf, black.
bool Begin(LoadContext& c, GError** error) {
  if (!ParsePictureHeader(c.pending, &c.rows.header)) {
    Fail(error, GDK_PIXBUF_ERROR_UNKNOWN_TYPE, "Not a GCmpSH0 picture (bad header)");
    return false;
  }
  c.taken = kPictureHeaderSize;
  int width = 0, height = 0;
  if (!ChooseSize(c, &width, &height, error)) return false;
  const auto full_width = static_cast<gsize>(c.rows.header.width);
  c.row_need = 8 * full_width + kWindowSize;
  c.row = static_cast<guint8*>(g_try_malloc(3 * full_width));
  c.scaling_memory = g_try_malloc(ScalingMemoryBytes(width));
  c.pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  if (c.row == nullptr || c.scaling_memory == nullptr || c.pixbuf == nullptr) {
    FailForMemory(error);
    return false;
  }
  gdk_pixbuf_fill(c.pixbuf, 0x000000FF);
  StartRowScaling(c.scaling, c.scaling_memory, c.rows.header.width, c.rows.header.height, width,
                  height, gdk_pixbuf_get_pixels(c.pixbuf), gdk_pixbuf_get_rowstride(c.pixbuf),
                  true);
  if (c.prepared_func != nullptr) c.prepared_func(c.pixbuf, nullptr, c.user_data);
  return true;
}

// Decodes the rows the kept bytes allow (all that are left once `ended`),
// and tells the viewer which part of the pixbuf changed.
bool DecodeRows(LoadContext& c, bool ended, GError** error) {
  const std::int32_t before = c.rows.rows_done;
  // The source reads the kept bytes; past them it gives zeros, which only
  // the end of the file may let the decoder reach.
  const guint8* start = c.pending + c.taken;
  OpenSource(c.input, SystemPlatform(), start, static_cast<HostInt>(c.size - c.taken),
             kInputMemory);
  bool ok = true;
  if (c.stage == Stage::Window) {
    if (!ended && c.size - c.taken < kWindowSize + c.row_need) return true;
    ok = PrimeDecoder(c.rows.decoder, c.input);  // from memory: cannot fail
    c.rows.rows_done = 0;
    c.stage = Stage::Rows;
  }
  while (ok && !PictureDone(c.rows) &&
         (ended || static_cast<gsize>(c.input.end - c.input.cur) >= c.row_need))
    ok = ScaleRows(c.rows, c.scaling, c.row, 1);
  c.taken += static_cast<gsize>(c.input.cur - start);
  if (!ok) {
    Fail(error, GDK_PIXBUF_ERROR_CORRUPT_IMAGE, "Broken GCmpSH0 pixel data");
    return false;
  }
  if (c.rows.rows_done != before && c.updated_func != nullptr) {
    // The rows come from the bottom up: those done so far are the bottom
    // part of the picture, and of the pixbuf.
    const int height = gdk_pixbuf_get_height(c.pixbuf);
    const int top = static_cast<int>(std::int64_t{c.rows.header.height - c.rows.rows_done} *
                                     height / c.rows.header.height);
    c.updated_func(c.pixbuf, 0, top, gdk_pixbuf_get_width(c.pixbuf), height - top, c.user_data);
  }
  if (PictureDone(c.rows)) c.stage = Stage::Done;
  return true;
}

// Takes `count` bytes: keeps them and decodes what they allow.
bool Take(LoadContext& c, const guint8* bytes, gsize count, GError** error) {
  if (!Keep(c, bytes, count)) {
    FailForMemory(error);
    return false;
  }
  if (c.stage == Stage::Header) {
    if (c.size < kPictureHeaderSize) return true;
    if (!Begin(c, error)) return false;
    c.stage = Stage::Window;
  }
  return DecodeRows(c, false, error);
}

gpointer BeginLoad(GdkPixbufModuleSizeFunc size_func, GdkPixbufModulePreparedFunc prepared_func,
                   GdkPixbufModuleUpdatedFunc updated_func, gpointer user_data, GError** error) {
  auto* c = static_cast<LoadContext*>(g_try_malloc0(sizeof(LoadContext)));
  if (c == nullptr) {
    FailForMemory(error);
    return nullptr;
  }
  c->size_func = size_func;
  c->prepared_func = prepared_func;
  c->updated_func = updated_func;
  c->user_data = user_data;
  c->stage = Stage::Header;
  return c;
}

gboolean LoadIncrement(gpointer data, const guchar* buffer, guint size, GError** error) {
  auto& c = *static_cast<LoadContext*>(data);
  for (gsize done = 0; done < size && c.stage != Stage::Done && c.stage != Stage::Failed;) {
    const gsize count = size - done < kSlice ? size - done : kSlice;
    if (!Take(c, buffer + done, count, error)) {
      c.stage = Stage::Failed;
      return FALSE;
    }
    done += count;
  }
  return c.stage == Stage::Failed ? FALSE : TRUE;
}

// Ends a load: the file has ended, so the rows left are decoded from what
// has come, with zeros past it. Frees the context; the pixbuf stays with
// whoever took a reference in the prepared callback.
gboolean StopLoad(gpointer data, GError** error) {
  auto* c = static_cast<LoadContext*>(data);
  bool ok = c->stage == Stage::Done;
  if (c->stage == Stage::Header) {
    // The header, too, reads as zeros past the end of the data, as the
    // plug-in reads it.
    static const guint8 kZeros[kPictureHeaderSize] = {};
    ok = Take(*c, kZeros, kPictureHeaderSize - c->size, error) && DecodeRows(*c, true, error);
  } else if (c->stage == Stage::Window || c->stage == Stage::Rows) {
    ok = DecodeRows(*c, true, error);
  } else if (c->stage == Stage::Failed) {
    Fail(error, GDK_PIXBUF_ERROR_FAILED, "The GCmpSH0 picture could not be loaded");
  }
  if (c->pixbuf != nullptr) g_object_unref(c->pixbuf);
  g_free(c->row);
  g_free(c->scaling_memory);
  g_free(c->pending);
  g_free(c);
  return ok ? TRUE : FALSE;
}

// Loading from a file: the same steps, reading until the picture is complete.
GdkPixbuf* LoadWhole(FILE* file, GError** error) {
  GdkPixbuf* pixbuf = nullptr;
  auto keep = [](GdkPixbuf* loaded, GdkPixbufAnimation*, gpointer out) {
    *static_cast<GdkPixbuf**>(out) = static_cast<GdkPixbuf*>(g_object_ref(loaded));
  };
  gpointer context = BeginLoad(nullptr, keep, nullptr, &pixbuf, error);
  if (context == nullptr) return nullptr;
  bool ok = true;
  guint8 piece[kSlice];
  while (ok && static_cast<LoadContext*>(context)->stage != Stage::Done) {
    const std::size_t got = std::fread(piece, 1, sizeof piece, file);
    if (got == 0) break;
    ok = LoadIncrement(context, piece, static_cast<guint>(got), error) == TRUE;
  }
  if (ok && std::ferror(file)) {
    Fail(error, GDK_PIXBUF_ERROR_FAILED, "Cannot read the GCmpSH0 file");
    ok = false;
  }
  // StopLoad frees the context whatever happened; its error only if none yet.
  GError* stop_error = nullptr;
  ok = (StopLoad(context, ok ? error : &stop_error) == TRUE) && ok;
  if (stop_error != nullptr) g_error_free(stop_error);
  if (!ok && pixbuf != nullptr) {
    g_object_unref(pixbuf);
    pixbuf = nullptr;
  }
  return pixbuf;
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
