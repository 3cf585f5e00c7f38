// Sound that records what was played ("WAV:FACE", or a file's path) into a
// list the test reads, optionally the same list as the desktop's actions so
// the order of sounds and window actions shows.
#pragma once
#include <string>
#include <vector>

#include "platform/sound.h"

class FakeSound : public Sound {
 public:
  explicit FakeSound(std::vector<std::string>* into = nullptr) : into_(into ? into : &own_) {}
  bool resourceExists = true;
  bool fileStarts = true;

  bool PlayResource(const std::string& type, const std::string& name) override {
    if (resourceExists) into_->push_back("sound " + type + ":" + name);
    return resourceExists;
  }
  bool PlayFile(const std::string& path) override {
    if (fileStarts) into_->push_back("sound " + path);
    return fileStarts;
  }

 private:
  std::vector<std::string> own_;
  std::vector<std::string>* into_;
};
