// Alerts as modal dialogs on the user's display.
#pragma once

// When a display can be opened, makes every alert a modal error dialog with the
// title, the message and one "OK" button, and returns true. Otherwise leaves the
// current presenter alone and returns false.
bool InstallGtkAlertPresenter();
