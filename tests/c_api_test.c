/* The C interface as a C99 program uses it, linked to libquorlen.so: round trips into
 * caller buffers and allocated ones, the size reporting when a buffer is too small,
 * refused streams and arguments, and the reader. Exits 1 if any check failed. */
#include <quorlen/quorlen.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;
#define CHECK(condition) \
  ((condition) ? (void)0 : (void)(failures++, fprintf(stderr, "line %d: failed: %s\n", __LINE__, #condition)))

enum { kInputSize = 5000 };

int main(void) {
  unsigned char input[kInputSize];
  for (size_t i = 0; i < kInputSize; ++i) input[i] = (unsigned char)("abracadabra"[i % 11] + (i / 1000));

  CHECK(strcmp(quorlen_version(), QUORLEN_EXPECTED_VERSION) == 0);
  CHECK(strcmp(quorlen_status_name(QUORLEN_CORRUPT_INPUT), "corrupt input") == 0);
  CHECK(quorlen_max_input_size() == 2147483136u);

  /* Caller buffers: ask for the size first, then compress into a buffer of exactly it. */
  size_t stream_size = 0;
  CHECK(quorlen_compress(input, kInputSize, NULL, 0, &stream_size) == QUORLEN_BUFFER_TOO_SMALL);
  CHECK(stream_size > 0 && stream_size < kInputSize);
  unsigned char* stream = malloc(stream_size);
  size_t written = 0;
  CHECK(quorlen_compress(input, kInputSize, stream, stream_size, &written) == QUORLEN_OK);
  CHECK(written == stream_size);

  unsigned char restored[kInputSize];
  size_t restored_size = 0;
  CHECK(quorlen_decompress(stream, stream_size, restored, kInputSize - 1, &restored_size) ==
        QUORLEN_BUFFER_TOO_SMALL);
  CHECK(restored_size == kInputSize);
  CHECK(quorlen_decompress(stream, stream_size, restored, kInputSize, &restored_size) == QUORLEN_OK);
  CHECK(restored_size == kInputSize && memcmp(restored, input, kInputSize) == 0);

  /* Library-allocated buffers give the same stream and bytes. */
  void* packed = NULL;
  size_t packed_size = 0;
  CHECK(quorlen_compress_alloc(input, kInputSize, &packed, &packed_size) == QUORLEN_OK);
  CHECK(packed_size == stream_size && memcmp(packed, stream, stream_size) == 0);
  void* unpacked = NULL;
  size_t unpacked_size = 0;
  CHECK(quorlen_decompress_alloc(packed, packed_size, &unpacked, &unpacked_size) == QUORLEN_OK);
  CHECK(unpacked_size == kInputSize && memcmp(unpacked, input, kInputSize) == 0);
  quorlen_free(unpacked);
  quorlen_free(packed);

  /* An empty input is an empty stream, and restores to nothing. */
  CHECK(quorlen_compress_alloc(NULL, 0, &packed, &packed_size) == QUORLEN_OK && packed_size == 0 && packed);
  quorlen_free(packed);
  CHECK(quorlen_decompress(NULL, 0, NULL, 0, &unpacked_size) == QUORLEN_OK && unpacked_size == 0);

  /* A damaged stream is refused and leaves the results empty. */
  unsigned char* damaged = malloc(stream_size + 1);
  memcpy(damaged, stream, stream_size);
  damaged[stream_size] = 0xFF;
  unpacked = damaged;
  CHECK(quorlen_decompress_alloc(damaged, stream_size + 1, &unpacked, &unpacked_size) ==
        QUORLEN_CORRUPT_INPUT);
  CHECK(unpacked == NULL && unpacked_size == 0);
  quorlen_reader* reader = (quorlen_reader*)damaged;
  CHECK(quorlen_reader_open(damaged, stream_size + 1, &reader) == QUORLEN_CORRUPT_INPUT && reader == NULL);
  free(damaged);

  /* Null pointers where data or a result is needed. */
  CHECK(quorlen_compress(NULL, 1, NULL, 0, &written) == QUORLEN_INVALID_ARGUMENT);
  CHECK(quorlen_decompress(stream, stream_size, restored, kInputSize, NULL) == QUORLEN_INVALID_ARGUMENT);
  CHECK(quorlen_reader_open(stream, stream_size, NULL) == QUORLEN_INVALID_ARGUMENT);

  /* The reader: a slice in the middle, one clipped at the end, none past it. */
  CHECK(quorlen_reader_open(stream, stream_size, &reader) == QUORLEN_OK);
  free(stream);
  CHECK(quorlen_reader_size(reader) == kInputSize);
  unsigned char slice[100];
  CHECK(quorlen_reader_read(reader, 2345, slice, sizeof slice) == sizeof slice);
  CHECK(memcmp(slice, input + 2345, sizeof slice) == 0);
  CHECK(quorlen_reader_read(reader, kInputSize - 10, slice, sizeof slice) == 10);
  CHECK(memcmp(slice, input + kInputSize - 10, 10) == 0);
  CHECK(quorlen_reader_read(reader, kInputSize, slice, sizeof slice) == 0);
  CHECK(quorlen_reader_read(reader, UINT64_MAX, slice, sizeof slice) == 0);
  quorlen_reader_close(reader);

  if (failures != 0) return 1;
  puts("C interface: all checks passed");
  return 0;
}
