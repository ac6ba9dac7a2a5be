// The version comes from the build (the project's version in CMakeLists.txt).
#include "quorlen/quorlen.hpp"

namespace quorlen {

const char* version() noexcept { return QUORLEN_VERSION_STRING; }

}  // namespace quorlen
