// unquorlen: restores the bytes that quorlen compressed, whole or in part, or checks and
// lists streams. Silent on success but for --list, --help and --version; on failure one
// "error : ..." line per failure on standard error and status 1.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "api/output_file.hpp"
#include "api/restore_commands.hpp"
#include "driver/unquorlen_options.hpp"
#include "quorlen/quorlen.hpp"

namespace {

constexpr const char* kUsage = "usage: unquorlen <file in> <file out>";

constexpr const char* kHelp =
    "  or:  unquorlen --range OFFSET:LENGTH <file in> <file out>\n"
    "  or:  unquorlen -l|--list <file>...\n"
    "  or:  unquorlen -t|--test <file>...\n"
    "Restores a file compressed by quorlen. \"-\" reads standard input or writes standard output.\n"
    "  --range OFFSET:LENGTH  restore only LENGTH bytes from byte OFFSET, clipped at the end\n"
    "  -l, --list             show each stream's size, restored size, ratio and rules\n"
    "  -t, --test             check that each stream restores, writing nothing\n"
    "  -h, --help             show this help\n"
    "  -V, --version          show the version\n"
    "  --                     end of options\n";

bool report(const quorlen::Error& error) {
  if (error.kind == quorlen::ErrorKind::none) return true;
  std::cerr << "error : " << error.message << std::endl;
  return false;
}

int listStreams(const std::vector<std::string>& files) {
  bool allGood = true;
  std::printf("%15s %15s %9s %12s  %s\n", "compressed", "restored", "ratio", "rules", "name");
  for (const std::string& file : files) {
    quorlen::StreamSummary summary;
    if (!report(quorlen::summarizeStream(file, summary))) {
      allGood = false;
      continue;
    }
    char ratio[32] = "-";
    if (summary.streamBytes > 0) {
      std::snprintf(ratio, sizeof ratio, "%.3f",
                    static_cast<double>(summary.restoredBytes) / static_cast<double>(summary.streamBytes));
    }
    std::printf("%15llu %15llu %9s %12u  %s\n", static_cast<unsigned long long>(summary.streamBytes),
                static_cast<unsigned long long>(summary.restoredBytes), ratio, summary.rules, file.c_str());
    std::fflush(stdout);
  }
  return allGood ? EXIT_SUCCESS : EXIT_FAILURE;
}

int testStreams(const std::vector<std::string>& files) {
  bool allGood = true;
  for (const std::string& file : files) {
    quorlen::StreamSummary summary;
    allGood = report(quorlen::summarizeStream(file, summary)) && allGood;
  }
  return allGood ? EXIT_SUCCESS : EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv) {
  using Mode = quorlen::UnquorlenOptions::Mode;
  const auto options = quorlen::parseUnquorlenOptions(argc, argv);
  if (!options) {
    std::cerr << kUsage << std::endl;
    return EXIT_FAILURE;
  }
  const auto& files = options->files;
  switch (options->mode) {
    case Mode::help:
      std::cout << kUsage << '\n' << kHelp << std::flush;
      return EXIT_SUCCESS;
    case Mode::version:
      std::cout << "unquorlen (quorlen) " << quorlen::version() << std::endl;
      return EXIT_SUCCESS;
    case Mode::list:
      return listStreams(files);
    case Mode::test:
      return testStreams(files);
    case Mode::range:
    case Mode::restore:
      break;
  }
  // An interrupted restore removes its partial output, as a failed one does.
  quorlen::removeOutputOnSignal();
  const quorlen::Error error = options->mode == Mode::range
                                   ? quorlen::restoreRange(files[0], files[1], options->offset, options->length)
                                   : quorlen::decompressFile(files[0], files[1]);
  return report(error) ? EXIT_SUCCESS : EXIT_FAILURE;
}
