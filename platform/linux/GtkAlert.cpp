#include "platform/linux/GtkAlert.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "platform/linux/LinuxPlatform.h"

namespace ambrel {

GtkWindow* ActiveGtkWindow() {
  GList* windows = gtk_window_list_toplevels();
  GtkWindow* active = nullptr;
  for (GList* item = windows; item; item = item->next)
    if (gtk_window_is_active(GTK_WINDOW(item->data))) active = GTK_WINDOW(item->data);
  g_list_free(windows);
  return active;
}

namespace {

bool& Dialogs() {
  static bool dialogs = false;
  return dialogs;
}

void ShowDialog(const char* title, const char* message) {
  GtkWidget* dialog = gtk_message_dialog_new(ActiveGtkWindow(), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                             GTK_BUTTONS_NONE, "%s", message);
  gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  gtk_window_set_title(GTK_WINDOW(dialog), title);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  // Let the window actually leave the screen before the caller goes on.
  while (gtk_events_pending()) gtk_main_iteration();
}

}  // namespace

bool InstallGtkAlertPresenter() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (!(x11 && *x11) && !(wayland && *wayland)) return false;
  Dialogs() = true;
  return true;
}

bool ShowGtkAlert(const char* title, const char* message) {
  if (!Dialogs()) return false;
  // GTK starts with the first alert, not with every run: on a compositor without
  // a seat (weston headless) its start alone prints a Gdk-CRITICAL.
  static const bool ready = gtk_init_check(nullptr, nullptr);
  if (ready) ShowDialog(title, message);
  else std::fprintf(stderr, "ambrel: %s: %s\n", title, message);
  return true;
}

}  // namespace ambrel
