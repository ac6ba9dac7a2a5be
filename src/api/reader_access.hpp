// Opening a Reader on a stream that arrives from a source (a file read in chunks), for
// the programs; the public openReader() takes a stream in memory.
#pragma once

#include "decoder/bit_reader.hpp"
#include "quorlen/quorlen.hpp"

namespace quorlen {

struct ReaderAccess {
  // Checks the stream as decompress() does and keeps only what reading needs. Throws
  // Failure or std::bad_alloc.
  static Reader open(BitReader& in);
};

}  // namespace quorlen
