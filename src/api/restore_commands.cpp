#include "api/restore_commands.hpp"

#include <algorithm>
#include <new>
#include <optional>
#include <stdexcept>

#include "api/error_value.hpp"
#include "api/file_error.hpp"
#include "api/input_file.hpp"
#include "api/output_file.hpp"
#include "api/same_file.hpp"
#include "api/stream_source.hpp"
#include "decoder/decompress.hpp"

namespace quorlen {

namespace {

constexpr bool kDash = true;  // "-" is standard input or output

// Passes on only the bytes of [first, first + count) of what it receives, and stops the
// expansion once it has them.
class RangeSink final : public ByteSink {
 public:
  RangeSink(ByteSink& out, std::uint64_t first, std::uint64_t count) : out_(out), first_(first), end_(first + count) {}
  struct Done {};

  void write(std::span<const std::uint8_t> bytes) override {
    const std::uint64_t begin = seen_, end = seen_ + bytes.size();
    seen_ = end;
    const std::uint64_t from = std::max(begin, first_), to = std::min(end, end_);
    if (from < to) out_.write(bytes.subspan(from - begin, to - from));
    if (end >= end_) throw Done{};
  }

 private:
  ByteSink& out_;
  std::uint64_t first_, end_, seen_ = 0;
};

template <typename Run>
Error asValue(Run&& run, std::optional<OutputFile>& output, const std::string& corruptFile) noexcept {
  Error error;
  try {
    run();
    return {};
  } catch (const CorruptStreamError& corrupt) {
    error = corruptFile.empty() ? errorValue(ErrorKind::corruptInput, {"corrupt input: ", corrupt.what(), "."})
                                : errorValue(ErrorKind::corruptInput,
                                             {"corrupt input '", corruptFile, "': ", corrupt.what(), "."});
  } catch (const FileError& failure) {
    error = errorValue(failure.kind, {failure.what()});
  } catch (const std::bad_alloc&) {
    error = errorValue(ErrorKind::outOfMemory, {"out of memory."});
  } catch (const std::length_error&) {
    error = errorValue(ErrorKind::outOfMemory, {"out of memory."});
  }
  if (output) output->discard();
  return error;
}

}  // namespace

Error decompressFile(const std::string& input, const std::string& output) noexcept {
  std::optional<OutputFile> file;
  return asValue(
      [&] {
        InputFile in(input, kDash);
        refuseSameFile(in, output, kDash);
        // The whole stream is checked, as it arrives, before the output is created: a
        // refused input leaves no output file and leaves an existing one untouched.
        FileStreamSource source(in);
        const Decompressor decompressor(source);
        file.emplace(output, in.outputPermissions(), kDash);
        file->removeOnSignal();
        decompressor.restoreTo(*file);
        file->close();
      },
      file, "");
}

Error restoreRange(const std::string& input, const std::string& output, std::uint64_t offset,
                   std::uint64_t length) noexcept {
  std::optional<OutputFile> file;
  return asValue(
      [&] {
        InputFile in(input, kDash);
        refuseSameFile(in, output, kDash);
        FileStreamSource source(in);
        const Decompressor decompressor(source);
        const std::uint64_t size = decompressor.restoredSize();
        const std::uint64_t first = std::min(offset, size);
        const std::uint64_t count = std::min(length, size - first);
        file.emplace(output, in.outputPermissions(), kDash);
        file->removeOnSignal();
        if (count > 0) {
          RangeSink range(*file, first, count);
          try {
            decompressor.restoreTo(range);
          } catch (const RangeSink::Done&) {
          }
        }
        file->close();
      },
      file, "");
}

Error summarizeStream(const std::string& input, StreamSummary& summary) noexcept {
  std::optional<OutputFile> none;
  return asValue(
      [&] {
        InputFile in(input, kDash);
        FileStreamSource source(in);
        const Decompressor decompressor(source);
        summary = StreamSummary{source.bytesRead(), decompressor.restoredSize(), decompressor.ruleCount()};
      },
      none, input);
}

}  // namespace quorlen
