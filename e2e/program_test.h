// Base of the end-to-end fixtures: every test starts and ends with no copy of the program running
// and no stored settings or policies.
#pragma once

#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EndAllOstinel();
    DeleteSettingsKey();
    DeletePolicyKey();
  }
  void TearDown() override {
    EndAllOstinel();
    DeleteSettingsKey();
    DeletePolicyKey();
  }
};
