// The X11 window behind an SDL window, for stacking layered windows next to
// it. Apart from the other files because SDL_syswm.h brings in Xlib.
#include <SDL.h>
#include <SDL_syswm.h>

namespace gui {

unsigned long SdlX11Window(void* sdlWindow) {
    if (!sdlWindow)
        return 0;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(static_cast<SDL_Window*>(sdlWindow), &info) ||
        info.subsystem != SDL_SYSWM_X11)
        return 0;
    return static_cast<unsigned long>(info.info.x11.window);
}

}  // namespace gui
