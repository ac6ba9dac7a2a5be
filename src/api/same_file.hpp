// Whether an output name holds the input file, checked before the output is touched.
#pragma once

#include <sys/stat.h>

#include <string>

namespace quorlen {

// True when `output`, links followed, is the very file `input` describes: the same device
// and inode, whatever kind of file it is (a regular file, a device, a pipe).
// With `dashIsStandardOutput`, "-" is standard output.
bool sameFile(const struct stat& input, const std::string& output, bool dashIsStandardOutput);

// Throws Failure (sameFile) when `output` is the input file, before the output is touched.
class InputFile;
void refuseSameFile(const InputFile& input, const std::string& output, bool dashIsStandardOutput);

}  // namespace quorlen
