#include "platform/Alerts.h"

#include <cstdio>

#include "platform/Platform.h"

namespace ambrel {

namespace {

int screenOwners = 0;

}  // namespace

void ShowAlert(const char* title, const char* message) {
  if (!title) title = "";
  if (!message) message = "";
  if (screenOwners == 0) {
    CurrentPlatform().presentAlert(title, message);
    return;
  }
  std::fprintf(stderr, "ambrel: %s: %s\n", title, message);
}

ScreenOwnership::ScreenOwnership() { ++screenOwners; }

ScreenOwnership::~ScreenOwnership() { --screenOwners; }

}  // namespace ambrel
