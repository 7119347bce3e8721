# The core and the neutral platform headers name no platform: no source below
# support/, water/, scene/, image/, host/ or directly in platform/ includes a
# window-system, toolkit or backend header. (The build itself refuses a core
# target that links a platform library; see platform/CMakeLists.txt.)
file(GLOB_RECURSE sources
     ${SOURCE_DIR}/support/*.[ch]* ${SOURCE_DIR}/water/*.[ch]* ${SOURCE_DIR}/scene/*.[ch]*
     ${SOURCE_DIR}/image/*.[ch]* ${SOURCE_DIR}/host/*.[ch]*)
file(GLOB neutral ${SOURCE_DIR}/platform/*.[ch]*)
set(forbidden "#include [<\"](X11/|GL/glx|EGL/|gtk/|gdk/|gdk-pixbuf|glib|gio/|wayland-|AppKit/|Cocoa/|Foundation/|platform/(linux|egl|wayland|macos)/)")
set(found 0)
foreach(source ${sources} ${neutral})
  file(STRINGS ${source} lines REGEX "${forbidden}")
  foreach(line ${lines})
    message(SEND_ERROR "${source}: ${line}")
    set(found 1)
  endforeach()
endforeach()
list(LENGTH sources count)
if(found)
  message(FATAL_ERROR "the core reaches past the platform seam")
endif()
message(STATUS "${count} core sources name no platform")
