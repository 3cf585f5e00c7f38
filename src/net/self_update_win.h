// Win32 halves of the self-update: the swap's file operations and what it
// shows and does to the running program.
#pragma once
#include <windows.h>

#include <functional>

#include "net/self_update.h"

class Win32UpdateFiles : public UpdateFiles {
 public:
  bool Exists(const std::string& path) override;
  bool MakePlain(const std::string& path) override;
  bool Delete(const std::string& path) override;
  bool Rename(const std::string& from, const std::string& to) override;
  bool Replace(const std::string& from, const std::string& to) override;
  std::string Crc32Text(const std::string& path) override;
  std::optional<Sha256Digest> Sha256(const std::string& path) override;
};

class Win32UpdateShell : public UpdateShell {
 public:
  // `mainForm`: the main window (owned by the application window);
  // `allowClose`: clears HideOnClose, so the close ends the program.
  Win32UpdateShell(HWND& mainForm, std::function<void()> allowClose)
      : mainForm_(mainForm), allowClose_(std::move(allowClose)) {}

  std::int64_t TickMs() override;
  std::string ApplicationTitle() override;
  void SetApplicationTitle(const std::string& title) override;
  void ShowSelfClosingMessage(const std::string& caption, const std::string& text, int ms) override;
  unsigned long StartProgram(const std::string& exePath) override;
  bool WaitUntilStartedProgramIsUp(int ms) override;
  void EndStartedProgram() override;
  void CloseMainWindow() override;
  ~Win32UpdateShell() override;

 private:
  void ForgetStartedProgram();

  HWND& mainForm_;
  std::function<void()> allowClose_;
  HANDLE started_ = nullptr;  // the process just started
  HANDLE upEvent_ = nullptr;  // set by it once it is up
};

// In a program an update started: says to the program that started it that
// this one is up (its first watch tick ran). Nothing in a program started any
// other way.
void SayStartedProgramIsUp();
