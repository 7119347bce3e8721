// The GTK backend of the configuration sheet, for hosts and tests that look
// behind the neutral interface: the objects of a loaded sheet by their ids, the
// final launch of a URI, and the sheet's preview process.
#pragma once

#include <gtk/gtk.h>
#include <sys/types.h>

#include <string>

#include "platform/SheetControls.h"

namespace ambrel {

// The builder object with that id in a sheet loaded by the GTK services; null
// when there is none (or the sheet is not one of theirs).
GObject* GtkSheetObject(SheetWindow* sheet, const char* id);

// The folder chooser the sheet runs for a panel, over parent (may be null), not
// yet shown; gtk_widget_destroy() ends it.
GtkWidget* NewGtkFolderChooser(const FolderPanel& panel, GtkWindow* parent);

// The last step of opening a page: by default the handler GIO knows for
// text/html, launched with the URI. On failure it says why in *failure, which
// the sheet shows the user in an alert. Null restores it.
using GtkUriLauncher = bool (*)(const char* uri, std::string* failure);
void SetGtkUriLauncher(GtkUriLauncher launcher);

// The running preview process of a sheet, 0 when none.
pid_t GtkSheetPreviewPid(SheetWindow* sheet);

}  // namespace ambrel
