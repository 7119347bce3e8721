#include "platform/Alerts.h"

#include <cstdio>
#include <utility>

namespace ambrel {

namespace {

AlertPresenter& Presenter() {
  static AlertPresenter presenter;
  return presenter;
}

int screenOwners = 0;

}  // namespace

void ShowAlert(const char* title, const char* message) {
  if (!title) title = "";
  if (!message) message = "";
  if (Presenter() && screenOwners == 0) {
    Presenter()(title, message);
    return;
  }
  std::fprintf(stderr, "ambrel: %s: %s\n", title, message);
}

void SetAlertPresenter(AlertPresenter presenter) { Presenter() = std::move(presenter); }

ScreenOwnership::ScreenOwnership() { ++screenOwners; }

ScreenOwnership::~ScreenOwnership() { --screenOwners; }

}  // namespace ambrel
