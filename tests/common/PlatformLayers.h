// Platforms a test lays over the program's for as long as it lives, each giving
// one service of its own (platform/Platform.h); the rest comes from below.
#pragma once

#include <functional>
#include <utility>

#include "platform/Platform.h"
#include "platform/SheetControls.h"

namespace ambrel {

// Alerts go to a function instead of the platform's presenter.
class AlertsTo : public Platform {
 public:
  using Presenter = std::function<void(const char* title, const char* message)>;
  explicit AlertsTo(Presenter presenter) : presenter_(std::move(presenter)) { SetPlatform(this); }
  void presentAlert(const char* title, const char* message) override { presenter_(title, message); }

 private:
  Presenter presenter_;
};

// Sheets come from these services instead of the platform's.
class SheetServicesFrom : public Platform {
 public:
  explicit SheetServicesFrom(SheetServices& services) : services_(services) { SetPlatform(this); }
  SheetServices& sheetServices() override { return services_; }

 private:
  SheetServices& services_;
};

}  // namespace ambrel
