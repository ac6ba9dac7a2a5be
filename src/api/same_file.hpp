// Whether two paths name one file, checked before an output file is touched.
#pragma once

#include <string>

namespace quorlen {

// True when both paths name one existing file, through links or not.
bool sameFile(const std::string& first, const std::string& second);

}  // namespace quorlen
