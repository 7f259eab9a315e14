// The embedded host's resources: the module's dialog templates and the arrow bitmaps.
#include "sim/Resources.h"

namespace kx {

namespace {

ControlTemplate Control(int id, ControlKind kind, LONG x, LONG y, LONG w, LONG h,
                        std::string caption = {}, UINT style = 0) {
  return ControlTemplate{id, kind, RECT{x, y, x + w, y + h}, std::move(caption), style};
}

// Labels carry no identifier the module uses.
constexpr int kLabel = -1;

}  // namespace

DialogTemplate MakeRunDialogTemplate() {
  DialogTemplate t;
  t.caption = "Camera registration";
  t.width = 560;
  t.height = 420;
  auto& c = t.controls;
  c.push_back(Control(kLabel, ControlKind::Static, 16, 12, 192, 20, "Camera"));
  c.push_back(Control(9629, ControlKind::Picture, 16, 36, 192, 256));
  c.push_back(Control(kLabel, ControlKind::Static, 224, 12, 300, 20, "Registration area"));
  c.push_back(Control(9690, ControlKind::Picture, 224, 36, 320, 200));
  c.push_back(Control(kLabel, ControlKind::Static, 224, 250, 140, 22, "Copies along X"));
  c.push_back(Control(9641, ControlKind::Edit, 370, 248, 70, 24));
  c.push_back(Control(kLabel, ControlKind::Static, 224, 280, 140, 22, "Copies along Y"));
  c.push_back(Control(9639, ControlKind::Edit, 370, 278, 70, 24));
  c.push_back(Control(kLabel, ControlKind::Static, 224, 310, 140, 22, "Step X (x1000)"));
  c.push_back(Control(355, ControlKind::Edit, 370, 308, 70, 24));
  c.push_back(Control(kLabel, ControlKind::Static, 224, 340, 140, 22, "Step Y (x1000)"));
  c.push_back(Control(356, ControlKind::Edit, 370, 338, 70, 24));
  c.push_back(Control(kLabel, ControlKind::GroupBox, 450, 244, 94, 70, "Material"));
  c.push_back(Control(9631, ControlKind::Radio, 460, 262, 80, 22, "Roll", kGroup));
  c.push_back(Control(9633, ControlKind::Radio, 460, 286, 80, 22, "Sheet"));
  c.push_back(Control(9673, ControlKind::Static, 16, 304, 192, 22, "Ready"));
  c.push_back(Control(9642, ControlKind::Button, 16, 376, 100, 30, "Start", kDefault));
  c.push_back(Control(9655, ControlKind::Button, 128, 376, 100, 30, "Close"));
  return t;
}

HostResources::HostResources() {
  m_templates.emplace(kRunDialogTemplate, MakeRunDialogTemplate());
  m_templates.emplace(kSetupPageTemplate, MakeSetupPageTemplate());
  m_templates.emplace(kAcquireDialogTemplate, MakeAcquireDialogTemplate());
}

const DialogTemplate* HostResources::FindDialogTemplate(UINT id) const {
  const auto it = m_templates.find(id);
  return it == m_templates.end() ? nullptr : &it->second;
}

cv::Mat HostResources::FindBitmap(UINT id) const { return MakeArrowBitmap(id); }

}  // namespace kx
