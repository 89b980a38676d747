#pragma once
// A connected scripted controller for tests that run the compatibility check end to end.
#include <gtest/gtest.h>

#include <memory>

#include "emulator/nvm_image_builder.h"
#include "engine/controller_access.h"
#include "platform/platform.h"
#include "tests/support/scripted_controller.h"

class ControllerFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    g_wbemServices.reset();
    g_controllerPath[0] = 0;
  }

  // Connects to a controller whose NVM is the main section of nvm.
  CScriptedController& Connect(const CNvmImageBuilder& nvm, uint32_t version = 0x20) {
    return Connect(nvm.MainSection(), version);
  }
  CScriptedController& Connect(std::vector<uint8_t> nvm, uint32_t version = 0x20) {
    TearDown();
    m_platform.reset();
    m_controller = std::make_unique<CScriptedController>(std::move(nvm), version);
    PlatformServices services;
    services.wmi = &m_controller->Wmi();
    m_platform = std::make_unique<CScopedPlatform>(services);
    EXPECT_TRUE(WmiConnect());
    return *m_controller;
  }

  std::unique_ptr<CScriptedController> m_controller;
  std::unique_ptr<CScopedPlatform> m_platform;
};
