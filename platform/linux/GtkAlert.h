// Alerts as modal dialogs on the user's display.
#pragma once

typedef struct _GtkWindow GtkWindow;

namespace ambrel {

// When a display is named, makes every alert of the Linux platform a modal error
// dialog with the title, the message and one "OK" button (GTK starts with the
// first one; a display that cannot be opened then leaves the stderr line), and
// returns true. Otherwise leaves alerts as they are and returns false.
bool InstallGtkAlertPresenter();

// The window the user works in (the settings window), which a dialog about it
// stays over; null when none has the focus.
GtkWindow* ActiveGtkWindow();

}  // namespace ambrel
