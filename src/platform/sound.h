// Asynchronous sound playback (winmm). A new sound cuts off the one playing.
#pragma once
#include <string>

class Sound {
 public:
  virtual ~Sound() = default;
  // Plays a "WAV" resource of the program; false when it is not found.
  virtual bool PlayResource(const std::string& type, const std::string& name) = 0;
  // Plays a WAV file; false when playback did not start.
  virtual bool PlayFile(const std::string& path) = 0;
};
