#include "platform/Alerts.h"

#include <cstdio>
#include <utility>

namespace {

AlertPresenter& Presenter() {
  static AlertPresenter presenter;
  return presenter;
}

}  // namespace

void ShowAlert(const char* title, const char* message) {
  if (!title) title = "";
  if (!message) message = "";
  if (Presenter()) {
    Presenter()(title, message);
    return;
  }
  std::fprintf(stderr, "ambrel: %s: %s\n", title, message);
}

void SetAlertPresenter(AlertPresenter presenter) { Presenter() = std::move(presenter); }
