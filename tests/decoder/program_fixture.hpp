// unquorlen (and quorlen) run as a user runs them, on the shared program fixture.
#pragma once

#include <string>
#include <vector>

#include "support/program_fixture.hpp"

namespace quorlen::test {

using Bytes = std::vector<std::uint8_t>;

class ProgramTest : public ProgramFixture {
 protected:
  // `input`, when given, is the file on the program's standard input.
  Result run(const std::string& program, const std::vector<std::string>& arguments, const std::string& input = "") const {
    return runProgram(program, arguments, "", input);
  }
  Result unquorlen(const std::vector<std::string>& arguments, const std::string& input = "") const {
    return run(UNQUORLEN_PATH, arguments, input);
  }
};

}  // namespace quorlen::test
