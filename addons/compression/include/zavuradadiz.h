// The compression add-on's C interface ("ZavuraDadiz.DLL", built as libzavuradadiz.so): the four
// names the table layer binds. The server connection compresses request payloads and expands
// reply payloads with it when its compression switch is on.
//
// A compressed stream is a zlib stream (RFC 1950). Output goes to the caller's sink piece by
// piece, so the caller owns every byte and can refuse more than it wants to hold.
//
// One thread: the caller's GUI thread.
#ifndef ORVELANE_ZAVURADADIZ_H
#define ORVELANE_ZAVURADADIZ_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(XBZIP_BUILDING)
#define XBZIPAPI __attribute__((visibility("default")))
#else
#define XBZIPAPI
#endif

/* Takes Length bytes of output; returns 0 to go on, anything else to stop the call. */
typedef int32_t (*XbZipSink)(void* sink, const void* data, int32_t length);

/* Results of the two stream calls. */
enum {
  XBZIP_OK = 0,
  XBZIP_DAMAGED = -1,  /* the input is not a whole compressed stream */
  XBZIP_STOPPED = -2,  /* the sink refused more output */
  XBZIP_NO_MEMORY = -3,
  XBZIP_BAD_ARGUMENT = -4
};

/* The 4 bound names, in binding order. X(name) for each. */
#define XBZIP_ENTRY_POINTS(X) \
  X(CompressStream) X(UnCompressStream) X(SetCompressionPassword) X(SetCompressionLevel)

/* Compresses Length bytes of Source into the sink at the level set last. */
XBZIPAPI int32_t CompressStream(const void* source, int32_t length, XbZipSink write, void* sink);
/* Expands the compressed stream of Length bytes at Source into the sink; input after the end of
   the stream, or a stream cut short, is DAMAGED. */
XBZIPAPI int32_t UnCompressStream(const void* source, int32_t length, XbZipSink write, void* sink);
/* Kept for the callers that set one; the streams are compressed, not enciphered. */
XBZIPAPI void SetCompressionPassword(const char* password);
/* 0 (store) to 9 (smallest); -1 zlib's default. Other values are taken as the nearest. */
XBZIPAPI void SetCompressionLevel(int32_t level);

#ifdef __cplusplus
}
#endif

#endif
