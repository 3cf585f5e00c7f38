// The settings window's controls in memory, starting as the form creates
// them; the folder browser answers with what the test scripts.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "desktop/settings_panel.h"

class FakeSettingsPanelView : public SettingsPanelView {
 public:
  struct Control {
    bool checked = false;
    std::string text;
    int selection = -1;
    bool enabled = true;
    bool visible = true;
    bool groupActive = true;  // group boxes: black font and enabled
  };

  FakeSettingsPanelView() {
    for (const ControlLayout& layout : PanelControls()) {
      Control& c = controls[layout.id];
      c.text = layout.caption;
      c.enabled = layout.enabled;
      c.visible = layout.visible;
    }
    // The lists' initial items.
    controls[PanelControl::cbb_topPos].selection = 1;
    controls[PanelControl::cbb_style].selection = 0;
  }

  std::map<PanelControl, Control> controls;
  // What the next folder browser returns (nullopt: cancelled), and what
  // every browser was asked.
  std::optional<std::string> chosenFolder;
  std::vector<std::string> browserTitles;
  std::vector<std::string> browserStarts;

  Control& operator[](PanelControl c) { return controls.at(c); }

  bool Checked(PanelControl c) override { return controls.at(c).checked; }
  void SetChecked(PanelControl c, bool checked) override { controls.at(c).checked = checked; }
  std::string Text(PanelControl c) override { return controls.at(c).text; }
  void SetText(PanelControl c, const std::string& text) override { controls.at(c).text = text; }
  int Selection(PanelControl c) override { return controls.at(c).selection; }
  void Select(PanelControl c, int index) override {
    const int count = static_cast<int>(ComboItems(c).size());
    controls.at(c).selection = index >= 0 && index < count ? index : -1;
  }
  void SetEnabled(PanelControl c, bool enabled) override { controls.at(c).enabled = enabled; }
  void SetVisible(PanelControl c, bool visible) override { controls.at(c).visible = visible; }
  void SetGroupActive(PanelControl group, bool active) override {
    controls.at(group).groupActive = active;
    controls.at(group).enabled = active;
  }
  std::optional<std::string> BrowseForFolder(const std::string& title,
                                             const std::string& startFolder) override {
    browserTitles.push_back(title);
    browserStarts.push_back(startFolder);
    return chosenFolder;
  }
};
