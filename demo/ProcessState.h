// Process-wide state, listed in one place. Everything below lives for the whole process and is
// shared between modules; ResetProcessState puts all of it back as a fresh process has it, so
// that no test depends on the tests run before it. Each line names a module's header and the
// variables of that module by their own names (a test compares them with the writable data of
// the built libraries: a mutable global missing here fails it).
//
//   engine/Vectors.h       RandomSeed (the one random generator)
//   engine/KGL2Textures.h  TextureRegistry (file name -> texture and file stamp), opaqueTextures
//                          (the names of the opaque textures), uploadCount, pictureFailures
//                          (pictures that could not be read)
//   engine/PairTextures.h  pairs (the shared JPEG pair textures and their users)
//   engine/KGL2Lights.h    CurrentLight
//   engine/KGL2_3ds.h      ModelLoader (exists only during a model load)
//   effects/VoxelGrid.h    VoxelAngles, VoxelOffset
//   effects/ModelLoading.h modelCache (path -> brush and file stamp), modelReads (the read count)
//   effects/BitmapFont.h   FontListBase (the font's display lists), TextColor, TextX, TextY,
//                          builtFont (the face, height and frame scale the lists were made for)
//   effects/Draw2D.h       CameraRight, CameraUp
//   platform/KestoBASS.h   state (the audio device and the streams)
//   platform/KestoGL2.h    CurrentWindow, FullscreenActive, KeyTable, PresentedFrames
//   platform/RenderTarget.h Target (the offscreen framebuffer frames go to, its spec, the line
//                          width and point size, whether window sizes are followed)
//   platform/KestoInput.h  Keyboard, device (the keyboard record it points to)
//   platform/Dialogs.h     errorBoxCount, lastErrorBoxText (the error box count and last text),
//                          errorOrigin, dialogsEnabled (not reset: dialogs stay as switched)
//   platform/ScriptError.h handler, location (the script error handler and the current script
//                          location)
//   sync/TrackReports.h    reports (whether analyses show progress, whether a cache that
//                          cannot be written was reported)
//   platform/Interrupts.h  deferring, pending (whether SIGINT and SIGTERM are deferred, and the
//                          signal received; the handlers stay installed)
//
// Not listed: the current folder, which nothing changes (scripts are read through a read
// context).
// Not reset: the window and GL context themselves (a test process opens one and keeps it) and
// SDL's subsystems other than audio.
#pragma once

// Puts every item of the list above back to its state at process start. Display lists of the
// font are deleted when a GL context is current.
void ResetProcessState();
