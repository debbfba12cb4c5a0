// OpenGL past 1.1 (multitexture, combiners, framebuffer objects). Linux's libGL exports every
// entry point; Windows' opengl32 exports 1.1 only, so there the later ones are pointers taken
// from the current context. Include this before any other GL header.
#pragma once
#if !defined(_WIN32) && !defined(GL_GLEXT_PROTOTYPES)
#define GL_GLEXT_PROTOTYPES 1
#endif
#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glext.h>

// Takes the entry points from the current context (nothing to do where the library exports
// them). Called once a context is current.
void ResolveGlEntryPoints();

#ifdef _WIN32
#define VORPANE_GL_ENTRY_POINTS(X)                                   \
  X(PFNGLACTIVETEXTUREPROC, glActiveTexture)                         \
  X(PFNGLMULTITEXCOORD2FPROC, glMultiTexCoord2f)                     \
  X(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers)                     \
  X(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers)               \
  X(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer)                     \
  X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus)       \
  X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, glFramebufferRenderbuffer)     \
  X(PFNGLBLITFRAMEBUFFERPROC, glBlitFramebuffer)                     \
  X(PFNGLGENRENDERBUFFERSPROC, glGenRenderbuffers)                   \
  X(PFNGLDELETERENDERBUFFERSPROC, glDeleteRenderbuffers)             \
  X(PFNGLBINDRENDERBUFFERPROC, glBindRenderbuffer)                   \
  X(PFNGLRENDERBUFFERSTORAGEPROC, glRenderbufferStorage)
#define VORPANE_GL_DECLARE(type, name) extern type vorpane_##name;
VORPANE_GL_ENTRY_POINTS(VORPANE_GL_DECLARE)
#undef VORPANE_GL_DECLARE
#define glActiveTexture vorpane_glActiveTexture
#define glMultiTexCoord2f vorpane_glMultiTexCoord2f
#define glGenFramebuffers vorpane_glGenFramebuffers
#define glDeleteFramebuffers vorpane_glDeleteFramebuffers
#define glBindFramebuffer vorpane_glBindFramebuffer
#define glCheckFramebufferStatus vorpane_glCheckFramebufferStatus
#define glFramebufferRenderbuffer vorpane_glFramebufferRenderbuffer
#define glBlitFramebuffer vorpane_glBlitFramebuffer
#define glGenRenderbuffers vorpane_glGenRenderbuffers
#define glDeleteRenderbuffers vorpane_glDeleteRenderbuffers
#define glBindRenderbuffer vorpane_glBindRenderbuffer
#define glRenderbufferStorage vorpane_glRenderbufferStorage
#endif
