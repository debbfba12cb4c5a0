#include "platform/GlEntryPoints.h"

#ifdef _WIN32
#include <SDL2/SDL.h>

#define VORPANE_GL_DEFINE(type, name) type vorpane_##name = nullptr;
VORPANE_GL_ENTRY_POINTS(VORPANE_GL_DEFINE)
#undef VORPANE_GL_DEFINE

void ResolveGlEntryPoints() {
#define VORPANE_GL_RESOLVE(type, name) \
  vorpane_##name = reinterpret_cast<type>(SDL_GL_GetProcAddress(#name));
  VORPANE_GL_ENTRY_POINTS(VORPANE_GL_RESOLVE)
#undef VORPANE_GL_RESOLVE
}
#else
void ResolveGlEntryPoints() {}
#endif
