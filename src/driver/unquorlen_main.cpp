// unquorlen <file in> <file out>: restores the bytes that quorlen compressed.
// Silent on success; on failure one "error : ..." line on standard error and status 1.
#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "decoder/decompress.hpp"
#include "decoder/file_io.hpp"
#include "driver/file_checks.hpp"

namespace {

int fail(const std::string& message) {
  std::cerr << "error : " << message << std::endl;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: unquorlen <file in> <file out>" << std::endl;
    return 1;
  }
  const std::string inputPath = argv[1];
  const std::string outputPath = argv[2];
  std::optional<quorlen::OutputFile> output;
  try {
    if (quorlen::sameFile(inputPath, outputPath)) {
      return fail("input and output are the same file '" + outputPath + "'.");
    }
    const std::vector<std::uint8_t> stream = quorlen::readWholeFile(inputPath);
    // The whole stream is checked before the output is created: a refused input
    // leaves no output file and leaves an existing one untouched.
    const quorlen::Decompressor decompressor(stream);
    output.emplace(outputPath);
    decompressor.restoreTo(*output);
    output->close();
    return 0;
  } catch (const quorlen::CorruptStreamError& error) {
    if (output) output->discard();
    return fail(std::string("corrupt input: ") + error.what() + ".");
  } catch (const quorlen::FileError& error) {
    if (output) output->discard();
    return fail(error.what());
  } catch (const std::bad_alloc&) {
    if (output) output->discard();
    return fail("out of memory.");
  } catch (const std::length_error&) {
    if (output) output->discard();
    return fail("out of memory.");
  }
}
