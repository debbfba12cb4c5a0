// Keyboard input: SDL's keyboard state translated to DirectInput key codes (the standard
// set-1 scan codes: Escape = 1), polled once per frame.
#pragma once
#include <SDL2/SDL.h>

#include <cstdint>
#include <string>

struct TRenderWindow;

// The system keyboard. KeyState is indexed by DirectInput key code; a key is down while the
// high bit (0x80) of its byte is set.
struct TKINKeyboardDevice {
  int32_t LastResult = 0;       // what the creation of the keyboard returned (0 = success)
  bool Exclusive = true;        // access mode chosen by the script's EXCLUSIVE
  uint8_t KeyState[256] = {};
};

// The one keyboard; null until INIT has run InitKeyboard.
extern TKINKeyboardDevice* Keyboard;

// Creates the keyboard for the window, exclusive (foreground) or shared.
void InitKeyboard(const TRenderWindow& window, bool exclusive);
// Reads the whole keyboard state into Keyboard->KeyState (nothing happens before InitKeyboard).
void PollKeyboard();
// True when the key's byte has its high bit set; false when there is no keyboard yet.
bool KeyDown(uint8_t code);
// The DirectInput key code of an SDL scan code (0 when the key has none).
uint8_t DirectInputCodeFromScancode(SDL_Scancode scancode);
// The message for a DirectInput result code; empty for codes it does not know.
std::string DirectInputErrorText(uint32_t code);
