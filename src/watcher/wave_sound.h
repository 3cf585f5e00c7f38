// Plays a sound and then waits with messages flowing, so a prompt is heard
// before the cycle moves on.
#pragma once
#include <string>

class Clock;
class Sound;

// With a resource type: plays that "WAV" resource; a missing resource plays
// nothing, does not wait and gives 0. With an empty type: plays the file at
// `name` and waits whether or not it started; 1 when it started, else 0.
int PlayWaveSound(Sound& sound, Clock& clock, const std::string& type, const std::string& name,
                  int waitMilliseconds);
