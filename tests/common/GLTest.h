// A fixture with a current off-screen OpenGL context (EGL surfaceless Mesa).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/egl/OffscreenContext.h"

namespace ambrel {

class GLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(context.Create(width(), height(), &error)) << error;
  }
  virtual int width() const { return 64; }
  virtual int height() const { return 64; }
  OffscreenContext context;
};

}  // namespace ambrel
