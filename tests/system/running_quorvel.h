// A system test with the suite service's stand-in and quorvel.exe running, its window up;
// at the end Quorvel is closed with "-x" as a user would, and it must exit cleanly.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "tests/bed/service_standin.h"
#include "tests/system/quorvel_driver.h"

namespace quorvel_test {

class RunningQuorvelTest : public test_registry::RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    m_quorvel = StartQuorvel();
    ASSERT_NE(WaitForMainWindow(m_quorvel->Pid()), nullptr) << "quorvel.exe did not start";
  }
  void TearDown() override {
    if (m_quorvel && m_quorvel->Running()) {
      EXPECT_EQ(RunQuorvel("-x"), 1u);
      EXPECT_EQ(m_quorvel->WaitExitCode(kWaitMs), 0u);
    }
  }

  bed::ServiceStandIn m_service;
  std::unique_ptr<bed::ChildProcess> m_quorvel;
};

}  // namespace quorvel_test
