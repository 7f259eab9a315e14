// An installed embedded host with its settings in a scratch folder.
// Header-only: a suite that includes it links kxembedded.
#pragma once

#include <gtest/gtest.h>

#include "embedded/EmbeddedHost.h"
#include "tests/support/Scratch.h"

namespace kx::test {

// An embedded host with its settings in the test's scratch folder, installed for the test.
class HostTest : public ::testing::Test {
 protected:
  HostTest() : m_host(EmbeddedHostOptions{m_scratch / "config"}) { m_host.Install(); }
  Document& Doc() { return m_host.Doc(); }

  ScratchFolder m_scratch;
  EmbeddedHost m_host;
};

}  // namespace kx::test
