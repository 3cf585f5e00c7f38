// The custom face sound: a WAV file in the program folder that, when it is
// there at start-up, replaces the built-in "FACE" prompt.
#pragma once
#include <string>

// Its size in bytes; 0 when it is missing or unreadable (face_sound_win.cpp).
long long MeasureFaceSound(const std::string& path);
