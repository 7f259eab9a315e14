// Seeded mutations of parser inputs: the same seed gives the same inputs on every machine.
#include "tests/fuzz/Mutator.h"

#include <algorithm>
#include <iterator>

namespace kx::test {
namespace {

// Pieces of the three formats and values at the edges of what they hold.
constexpr const char* kTokens[] = {"{",
                                   "}",
                                   "[",
                                   "]",
                                   "\"",
                                   ":",
                                   ",",
                                   "=",
                                   "\n",
                                   ";",
                                   "#",
                                   "\r\n",
                                   "\\u0000",
                                   "\\u001b",
                                   "true",
                                   "null",
                                   "0",
                                   "-1",
                                   "1e308",
                                   "-1e308",
                                   "1e-320",
                                   "4294967297",
                                   "18446744073709551615",
                                   "9223372036854775808",
                                   "2147483648",
                                   "0.06",
                                   "1e12",
                                   "\"camera\"",
                                   "\"scale\"",
                                   "\"copies\"",
                                   "\"handle\"",
                                   "\"t1\"",
                                   "\"png\"",
                                   "\"version\"",
                                   "[Kestrix Setup]",
                                   "Scale=",
                                   "X OffSet=",
                                   "\xff",
                                   "\x1b[2J",
                                   "\xc3\xa9"};

}  // namespace

std::size_t Mutator::Below(std::size_t n) {
  return n == 0 ? 0 : static_cast<std::size_t>(m_random() % n);
}

std::string Mutator::Next(const std::vector<std::string>& corpus) {
  return Mutate(corpus[Below(corpus.size())], corpus);
}

std::string Mutator::Mutate(std::string s, const std::vector<std::string>& corpus) {
  const std::size_t changes = 1 + Below(4);
  for (std::size_t k = 0; k < changes; ++k) {
    const std::size_t at = Below(s.size() + 1);
    switch (Below(9)) {
      case 0:  // a flipped bit
        if (!s.empty()) s[std::min(at, s.size() - 1)] ^= static_cast<char>(1 << Below(8));
        break;
      case 1:  // a random byte
        s.insert(at, 1, static_cast<char>(Below(256)));
        break;
      case 2:  // lost bytes
        s.erase(at, Below(16) + 1);
        break;
      case 3: {  // a piece repeated (keys given twice, sections twice)
        const std::size_t len = std::min(s.size() - std::min(at, s.size()), Below(64) + 1);
        s.insert(Below(s.size() + 1), s.substr(at, len));
        break;
      }
      case 4:
      case 5:  // a token of the formats
        s.insert(at, kTokens[Below(std::size(kTokens))]);
        break;
      case 6: {  // a number replaced by one at the limits
        const std::size_t digit = s.find_first_of("0123456789", at);
        if (digit == std::string::npos) break;
        const std::size_t end = s.find_first_not_of("0123456789.eE+-", digit);
        s.replace(digit, (end == std::string::npos ? s.size() : end) - digit,
                  kTokens[16 + Below(10)]);
        break;
      }
      case 7:  // the end cut off
        s.resize(at);
        break;
      case 8:  // spliced with another entry
        if (!corpus.empty()) {
          const std::string& other = corpus[Below(corpus.size())];
          s = s.substr(0, at) + other.substr(std::min(Below(other.size() + 1), other.size()));
        }
        break;
    }
  }
  // Now and then deep nesting, which no single change makes.
  if (Below(64) == 0) {
    const std::size_t depth = 10 + Below(3000);
    s.insert(Below(s.size() + 1), std::string(depth, Below(2) ? '[' : '{'));
  }
  return s;
}

}  // namespace kx::test
