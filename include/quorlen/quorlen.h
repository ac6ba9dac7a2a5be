/* quorlen: grammar-based compression of byte strings, the C interface.
 *
 * C99, and callable through ctypes or cffi: plain integers, pointers and one opaque
 * type. Every function reports failure through its status and never ends the process.
 * The stream is byte for byte the one the quorlen program writes. The C++ interface
 * is quorlen.hpp; both are served by one library (libquorlen.a, libquorlen.so).
 *
 * The stream does not record the restored size, and compression's output size is
 * known only once it has run, so the functions into caller buffers say how much room
 * they needed when it was not enough. The _alloc functions size the result themselves.
 */
#ifndef QUORLEN_QUORLEN_H
#define QUORLEN_QUORLEN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum quorlen_status {
  QUORLEN_OK = 0,
  QUORLEN_INPUT_TOO_LARGE = 1,  /* compression: the input has quorlen_max_input_size() bytes or more */
  QUORLEN_CORRUPT_INPUT = 2,    /* decompression, reader: the stream is not one quorlen writes */
  QUORLEN_OUT_OF_MEMORY = 3,    /* memory ran out; nothing else was affected */
  QUORLEN_BUFFER_TOO_SMALL = 4, /* the caller's buffer is too small; *out_size holds the size needed */
  QUORLEN_INVALID_ARGUMENT = 5  /* a null pointer where data or a result was needed */
} quorlen_status;

/* A short lowercase description of `status`, such as "corrupt input"; never NULL. */
const char* quorlen_status_name(int status);

/* The library's version, "major.minor.patch". */
const char* quorlen_version(void);

/* Inputs must be smaller than this many bytes. */
uint64_t quorlen_max_input_size(void);

/* Compresses in[0, in_size) into out[0, out_capacity). On QUORLEN_OK and on
 * QUORLEN_BUFFER_TOO_SMALL, *out_size receives the stream's size (0 on other failures);
 * on the latter nothing is written to out, which may be NULL with out_capacity 0 to
 * ask for the size. `in` may be NULL when in_size is 0. An empty input gives an empty
 * stream. */
quorlen_status quorlen_compress(const void* in, size_t in_size, void* out, size_t out_capacity,
                                size_t* out_size);

/* Restores the bytes of the stream in[0, in_size) into out[0, out_capacity), with the
 * same size reporting as quorlen_compress. The whole stream is checked first. */
quorlen_status quorlen_decompress(const void* in, size_t in_size, void* out, size_t out_capacity,
                                  size_t* out_size);

/* As above, into a buffer the library allocates: on QUORLEN_OK *out points to *out_size
 * bytes (a valid pointer even for 0 bytes) to be released with quorlen_free; on failure
 * *out is NULL and *out_size 0. */
quorlen_status quorlen_compress_alloc(const void* in, size_t in_size, void** out, size_t* out_size);
quorlen_status quorlen_decompress_alloc(const void* in, size_t in_size, void** out, size_t* out_size);

/* Releases a buffer of the _alloc functions; NULL is ignored. */
void quorlen_free(void* buffer);

/* Random access to the bytes a stream restores, without restoring all of them. */
typedef struct quorlen_reader quorlen_reader;

/* Checks the whole stream as quorlen_decompress does and keeps what reading needs;
 * the caller may release the stream afterwards. On failure *reader is NULL. */
quorlen_status quorlen_reader_open(const void* in, size_t in_size, quorlen_reader** reader);

/* The number of bytes the stream restores; 0 for a NULL reader. */
uint64_t quorlen_reader_size(const quorlen_reader* reader);

/* Copies the restored bytes [offset, offset + length) into out, clipped at the size,
 * and returns how many it copied (0 at or past the end, or for a NULL argument). One
 * reader may be read from several threads at once. */
size_t quorlen_reader_read(const quorlen_reader* reader, uint64_t offset, void* out, size_t length);

/* Releases a reader; NULL is ignored. */
void quorlen_reader_close(quorlen_reader* reader);

#ifdef __cplusplus
}
#endif

#endif /* QUORLEN_QUORLEN_H */
