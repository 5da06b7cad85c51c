# The window and drawing layer: SDL2 + cairo + pango + fontconfig on POSIX,
# with Xlib for the layered (shadow) windows and the composition query.
if(NOT WIN32)
  pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
  pkg_check_modules(X11GUI REQUIRED IMPORTED_TARGET x11 xext)
  target_sources(korvel_platform PRIVATE
    posix/gui/gui_dpi.cpp
    posix/gui/gdi.cpp
    posix/gui/gdi_text.cpp
    posix/gui/gdi_image.cpp
    posix/gui/window_core.cpp
    posix/gui/message_loop.cpp
    posix/gui/window_sdl.cpp
    posix/gui/layered_x11.cpp
    posix/gui/sdl_x11_window.cpp
    posix/gui/layered_capture.cpp
    posix/gui/dialogs.cpp
    posix/gui/controls.cpp
    posix/gui/controls_edit.cpp
    posix/gui/folder_chooser.cpp
  )
  target_link_libraries(korvel_platform PRIVATE
    PkgConfig::SDL2 PkgConfig::CAIRO PkgConfig::PANGO PkgConfig::FONTCONFIG PkgConfig::X11GUI)
endif()
