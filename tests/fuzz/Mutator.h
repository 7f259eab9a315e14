// Seeded mutations of parser inputs: the same seed gives the same inputs on every machine.
// Threads: reentrant.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kx::test {

// Changes inputs the way careless editing and damaged storage do: flipped and lost bytes, pieces
// repeated or moved, tokens of the formats dropped in, numbers at their limits, deep nesting.
class Mutator {
 public:
  explicit Mutator(std::uint64_t seed) : m_random(seed) {}

  // A mutant of one of corpus's entries (one to four changes, at times spliced with another).
  std::string Next(const std::vector<std::string>& corpus);
  std::string Mutate(std::string input, const std::vector<std::string>& corpus);

 private:
  std::size_t Below(std::size_t n);

  std::mt19937_64 m_random;
};

}  // namespace kx::test
