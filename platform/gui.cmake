# The window and drawing layer: SDL2 + cairo + pango + fontconfig on POSIX,
# with Xlib for the layered (shadow) windows and the composition query.
if(NOT WIN32)
  pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
  pkg_check_modules(X11GUI REQUIRED IMPORTED_TARGET x11 xext)
  target_sources(korvel_platform PRIVATE
    posix/gui/gui_dpi.cpp
  )
  target_link_libraries(korvel_platform PRIVATE
    PkgConfig::SDL2 PkgConfig::CAIRO PkgConfig::PANGO PkgConfig::FONTCONFIG PkgConfig::X11GUI)
endif()
