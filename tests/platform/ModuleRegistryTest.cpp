// The registry of loaded extension modules.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ModuleRegistry.h"

namespace kx::test {
namespace {

TEST(Modules, RegisterAndUnregister) {
  kx::RegisterModule("extension");
  kx::RegisterModule("extension");
  const std::vector<std::string> modules = kx::RegisteredModules();
  EXPECT_EQ(std::count(modules.begin(), modules.end(), "extension"), 2);
  EXPECT_TRUE(kx::UnregisterModule("extension"));
  EXPECT_TRUE(kx::UnregisterModule("extension"));
  EXPECT_FALSE(kx::UnregisterModule("extension"));
}

}  // namespace
}  // namespace kx::test
