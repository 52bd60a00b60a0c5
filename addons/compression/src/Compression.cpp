// The compression add-on over zlib (see zavuradadiz.h).
#include "addons/compression/include/zavuradadiz.h"

#include <zlib.h>

#include <string>

namespace {

struct Settings {
  int level = Z_DEFAULT_COMPRESSION;
  std::string password;
};

Settings& S() {
  static Settings s;
  return s;
}

constexpr uInt kChunk = 64 * 1024;

// Runs one deflate or inflate stream over the whole input, handing each filled piece of output
// to the sink.
template <class Step>
int32_t Pump(z_stream& z, const void* source, int32_t length, XbZipSink write, void* sink, Step step) {
  unsigned char out[kChunk];
  z.next_in = static_cast<Bytef*>(const_cast<void*>(source));
  z.avail_in = static_cast<uInt>(length);
  for (;;) {
    z.next_out = out;
    z.avail_out = kChunk;
    const int rc = step();
    const uInt produced = kChunk - z.avail_out;
    if (produced > 0 && write(sink, out, static_cast<int32_t>(produced)) != 0) return XBZIP_STOPPED;
    if (rc == Z_STREAM_END) return z.avail_in == 0 ? XBZIP_OK : XBZIP_DAMAGED;
    if (rc == Z_MEM_ERROR) return XBZIP_NO_MEMORY;
    if (rc != Z_OK && !(rc == Z_BUF_ERROR && produced > 0)) return XBZIP_DAMAGED;
    // No progress with input left over and no output: a stream cut short.
    if (produced == 0 && z.avail_in == 0) return XBZIP_DAMAGED;
  }
}

bool Valid(const void* source, int32_t length, XbZipSink write) {
  return length >= 0 && write != nullptr && (length == 0 || source != nullptr);
}

}  // namespace

extern "C" {

XBZIPAPI int32_t CompressStream(const void* source, int32_t length, XbZipSink write, void* sink) {
  if (!Valid(source, length, write)) return XBZIP_BAD_ARGUMENT;
  z_stream z{};
  if (deflateInit(&z, S().level) != Z_OK) return XBZIP_NO_MEMORY;
  const int32_t rc = Pump(z, source, length, write, sink, [&] { return deflate(&z, Z_FINISH); });
  deflateEnd(&z);
  return rc;
}

XBZIPAPI int32_t UnCompressStream(const void* source, int32_t length, XbZipSink write, void* sink) {
  if (!Valid(source, length, write)) return XBZIP_BAD_ARGUMENT;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return XBZIP_NO_MEMORY;
  const int32_t rc = Pump(z, source, length, write, sink, [&] { return inflate(&z, Z_NO_FLUSH); });
  inflateEnd(&z);
  return rc;
}

XBZIPAPI void SetCompressionPassword(const char* password) { S().password = password ? password : ""; }

XBZIPAPI void SetCompressionLevel(int32_t level) {
  S().level = level < 0 ? Z_DEFAULT_COMPRESSION : (level > 9 ? 9 : level);
}

}  // extern "C"
