#include "api/same_file.hpp"

#include <filesystem>
#include <system_error>

namespace quorlen {

bool sameFile(const std::string& first, const std::string& second) {
  std::error_code error;
  const bool same = std::filesystem::equivalent(first, second, error);
  return !error && same;
}

}  // namespace quorlen
