// The embedded host's resources: the module's dialog templates and the arrow bitmaps.
#include "embedded/Resources.h"

#include <array>
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace kx {

namespace {

ControlTemplate Control(int id, ControlKind kind, LONG x, LONG y, LONG w, LONG h,
                        std::string caption = {}, UINT style = 0) {
  return ControlTemplate{id, kind, RECT{x, y, x + w, y + h}, std::move(caption), style};
}

// Labels carry no identifier the module uses.
constexpr int kLabel = -1;

// A field of the setup page with its label in front, on one row starting at y.
void AddLabelledField(std::vector<ControlTemplate>& controls, std::string label, int id,
                      ControlKind kind, LONG y, LONG fieldLeft, LONG fieldWidth) {
  constexpr LONG kLeft = 24;
  controls.push_back(Control(kLabel, ControlKind::Static, kLeft, y + 2, fieldLeft - kLeft - 6, 20,
                             std::move(label)));
  controls.push_back(Control(id, kind, fieldLeft, y, fieldWidth, 24));
}

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

DialogTemplate MakeSetupPageTemplate() {
  DialogTemplate t{"(*v*)Kestrix", 568, 372, false, {}};
  auto& c = t.controls;
  c.push_back(Control(kLabel, ControlKind::GroupBox, 12, 8, 330, 232, "(*v*)Camera"));
  c.push_back(Control(9666, ControlKind::Check, 24, 30, 300, 22, "(*v*)Automatic white balance"));
  c.push_back(Control(9692, ControlKind::Check, 24, 54, 300, 22, "(*v*)Gamma mode"));
  AddLabelledField(c, "(*v*)Gain", 9663, ControlKind::Slider, 84, 146, 184);
  AddLabelledField(c, "(*v*)Sharpness", 9665, ControlKind::Slider, 114, 146, 184);
  AddLabelledField(c, "(*v*)Gamma", 9664, ControlKind::Slider, 144, 146, 184);
  c.push_back(Control(kLabel, ControlKind::Static, 24, 178, 306, 20, "(*v*)Light level control"));
  c.push_back(Control(9662, ControlKind::ComboBox, 24, 202, 306, 24));
  c.push_back(Control(kLabel, ControlKind::GroupBox, 12, 250, 330, 112, "(*v*)Camera position"));
  AddLabelledField(c, "(*v*)Scale", 9659, ControlKind::Edit, 270, 118, 100);
  AddLabelledField(c, "(*v*)X offset", 9660, ControlKind::Edit, 300, 118, 100);
  AddLabelledField(c, "(*v*)Y offset", 9661, ControlKind::Edit, 330, 118, 100);
  c.push_back(Control(9667, ControlKind::Button, 230, 298, 100, 28, "(*v*)Calibrate"));
  c.push_back(Control(kLabel, ControlKind::Static, 360, 8, 192, 20, "(*v*)Camera Image"));
  c.push_back(Control(9629, ControlKind::Picture, 360, 30, 192, 256));
  c.push_back(Control(IDOK, ControlKind::Button, 360, 334, 92, 28, "(*v*)OK", kDefault));
  c.push_back(Control(IDCANCEL, ControlKind::Button, 460, 334, 92, 28, "(*v*)Cancel"));
  return t;
}

DialogTemplate MakeAcquireDialogTemplate() {
  DialogTemplate t{"Reference image", 640, 488, false, {}};
  t.controls = {
      Control(kLabel, ControlKind::Static, 16, 10, 192, 20, "Camera"),
      Control(9632, ControlKind::Picture, 16, 32, 192, 256),
      Control(kLabel, ControlKind::Static, 224, 10, 400, 20, "Montage"),
      Control(9630, ControlKind::Picture, 224, 32, 400, 352),
      Control(kLabel, ControlKind::Static, 16, 296, 192, 20, "Grow the area"),
      Control(9634, ControlKind::BitmapButton, 224, 396, 92, 30, "Start"),
      Control(9636, ControlKind::BitmapButton, 324, 396, 92, 30, "End"),
      Control(IDOK, ControlKind::BitmapButton, 432, 396, 92, 30, "OK"),
      Control(IDCANCEL, ControlKind::Button, 532, 396, 92, 30, "Cancel"),
      Control(9656, ControlKind::Static, 16, 458, 608, 20),
  };
  // The pad: row by row, top to bottom, left to right; the centre has no button.
  constexpr int kPadLeft = 46;
  constexpr int kPadTop = 320;
  constexpr int kPitch = 44;
  constexpr int kButton = 40;
  const std::array<std::array<int, 3>, 3> pad{
      {{9646, 9647, 9648}, {9649, 0, 9651}, {9652, 9653, 9654}}};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      const int id = pad[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
      if (id == 0) continue;
      t.controls.push_back(Control(id, ControlKind::BitmapButton, kPadLeft + col * kPitch,
                                   kPadTop + row * kPitch, kButton, kButton));
    }
  }
  return t;
}

namespace {

// An arrow pointing up or up and right, drawn once each; the other six are exact quarter turns
// of these two, so that all eight have the same shape and sit alike in the bitmap.
struct ArrowShape {
  bool diagonal;
  int quarterTurns;  // clockwise
};
// From bitmap 2849 on: up-left, right, left, down, up, down-left, down-right, up-right.
constexpr std::array<ArrowShape, 8> kArrowShapes{
    {{true, 3}, {false, 1}, {false, 3}, {false, 2}, {false, 0}, {true, 2}, {true, 1}, {true, 0}}};

// The up arrow in pixel coordinates, symmetric about the centre column: a head and a shaft, each
// convex.
constexpr int kArrowCentre = kArrowBitmapSize / 2;
const std::array<std::vector<cv::Point2d>, 2> kUpArrow{
    std::vector<cv::Point2d>{{15, 2}, {27, 14}, {3, 14}},
    std::vector<cv::Point2d>{{11, 14}, {19, 14}, {19, 28}, {11, 28}}};

cv::Mat DrawArrow(bool diagonal) {
  const cv::Scalar mask((kArrowMaskColour >> 16) & 0xFF, (kArrowMaskColour >> 8) & 0xFF,
                        kArrowMaskColour & 0xFF);
  cv::Mat image(kArrowBitmapSize, kArrowBitmapSize, CV_8UC3, mask);
  const double turn = diagonal ? CV_PI / 4 : 0.0;
  // Corners in 1/16 pixel, so that the turned outline keeps its shape before it is filled.
  constexpr int kShift = 4;
  for (const auto& part : kUpArrow) {
    std::vector<cv::Point> corners;
    for (const cv::Point2d& p : part) {
      const double dx = p.x - kArrowCentre;
      const double dy = p.y - kArrowCentre;
      const double x = kArrowCentre + dx * std::cos(turn) - dy * std::sin(turn);
      const double y = kArrowCentre + dx * std::sin(turn) + dy * std::cos(turn);
      corners.emplace_back(static_cast<int>(std::lround(x * (1 << kShift))),
                           static_cast<int>(std::lround(y * (1 << kShift))));
    }
    // Sharp edges: a blended edge pixel would be neither the mask colour nor the arrow's.
    cv::fillConvexPoly(image, corners, cv::Scalar(150, 70, 10), cv::LINE_8, kShift);
  }
  return image;
}

}  // namespace

cv::Mat MakeArrowBitmap(UINT id) {
  if (id < kFirstArrowBitmap || id > kLastArrowBitmap) return cv::Mat();
  const ArrowShape shape = kArrowShapes[id - kFirstArrowBitmap];
  cv::Mat image = DrawArrow(shape.diagonal);
  static constexpr std::array<cv::RotateFlags, 3> kTurns{cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180,
                                                         cv::ROTATE_90_COUNTERCLOCKWISE};
  if (shape.quarterTurns > 0) {
    cv::Mat turned;
    cv::rotate(image, turned, kTurns[static_cast<std::size_t>(shape.quarterTurns - 1)]);
    image = turned;
  }
  return image;
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
