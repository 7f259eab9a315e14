// libFuzzer entry: document files.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/FuzzTargets.h"
#include "tests/fuzz/libfuzzer/FuzzerMain.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kx::test;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  bool accepted = false;
  return Report(FuzzDocumentFile(input, FuzzFolder(), &accepted));
}
