// Window classes the simulator can create under any name the real programs
// use: the system's own controls, other frameworks' controls (Delphi's
// "TGroupButton", "TEdit") as superclasses that behave like the system control
// they wrap, and plain containers for everything else ("TRadioGroup",
// "TFormActiveMem").
#pragma once

#include <windows.h>

#include <string>

enum class Control { Container, Button, Edit, ComboBox, ListBox, Static, Other };

struct ClassChoice {
  Control kind = Control::Container;
  DWORD style = 0;         // the control's own style bits, e.g. CBS_DROPDOWNLIST
  int defaultHeight = 24;  // pixels, for children given no height
};

// Registers `name` (GBK) on first use. False, with a reason, when it cannot.
bool ChooseClass(const std::string& name, ClassChoice& choice, std::string& reason);
