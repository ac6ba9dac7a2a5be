#include "api/same_file.hpp"

#include <unistd.h>

#include "api/input_file.hpp"
#include "common/failure.hpp"

namespace quorlen {

bool sameFile(const struct stat& input, const std::string& output, bool dashIsStandardOutput) {
  struct stat status {};
  const int found = dashIsStandardOutput && output == "-" ? ::fstat(STDOUT_FILENO, &status) : ::stat(output.c_str(), &status);
  return found == 0 && status.st_dev == input.st_dev && status.st_ino == input.st_ino;
}

void refuseSameFile(const InputFile& input, const std::string& output, bool dashIsStandardOutput) {
  if (sameFile(input.status(), output, dashIsStandardOutput)) {
    fail(ErrorKind::sameFile, "input and output are the same file '" + output + "'.");
  }
}

}  // namespace quorlen
