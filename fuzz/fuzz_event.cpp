// Fuzz target: the translation of SDL events into Event records, typed text
// included. The first byte picks the event type, the rest fills the record.
#include <SDL.h>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "qel_driver-sdl2.h"
#include "qel_driver-tex_load.h"

// The driver's texture loader asks the game for its filter; nothing loads here.
int _QEL_GL_TEXTURE_MAG_FILTER() { return GL_LINEAR; }

static const Uint32 kTypes[] = {
    SDL_QUIT,           SDL_WINDOWEVENT,    SDL_KEYDOWN,       SDL_KEYUP,        SDL_TEXTINPUT,
    SDL_MOUSEMOTION,    SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP, SDL_MOUSEWHEEL,  SDL_JOYAXISMOTION,
    SDL_JOYBUTTONDOWN,  SDL_JOYBUTTONUP,    SDL_FINGERDOWN,    SDL_FINGERMOTION, SDL_FINGERUP,
    SDL_JOYHATMOTION,   SDL_TEXTEDITING,    SDL_USEREVENT,
};

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SDL_InitSubSystem(SDL_INIT_EVENTS);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    SDL_Event ev;
    memset(&ev, 0, sizeof ev);
    size_t body = sizeof ev - sizeof ev.type;
    memcpy((char*)&ev + sizeof ev.type, data + 1, size - 1 < body ? size - 1 : body);
    ev.type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
    Event r;
    _driver_event_translate(&ev, &r);
    // Hand out any typed text; the queue itself stays empty.
    for (int i = 0; i < 64 && driver_event_poll(&r); i++) {
    }
    return 0;
}
