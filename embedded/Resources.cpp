// The embedded host's resources: the module's dialog templates and the arrow bitmaps.
#include "embedded/Resources.h"

#include <algorithm>
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
  c.push_back(Control(IDC_KX_LIVE, ControlKind::Picture, 16, 36, 192, 256));
  c.push_back(Control(kLabel, ControlKind::Static, 224, 12, 300, 20, "Registration area"));
  c.push_back(Control(IDC_KX_PREVIEW, ControlKind::Picture, 224, 36, 320, 200));
  c.push_back(Control(kLabel, ControlKind::Static, 224, 250, 140, 22, "Copies along X"));
  c.push_back(Control(IDC_KX_COPIES_X, ControlKind::Edit, 370, 248, 70, 24));
  c.push_back(Control(kLabel, ControlKind::Static, 224, 280, 140, 22, "Copies along Y"));
  c.push_back(Control(IDC_KX_COPIES_Y, ControlKind::Edit, 370, 278, 70, 24));
  c.push_back(Control(kLabel, ControlKind::Static, 224, 310, 140, 22, "Step X (x1000)"));
  c.push_back(Control(IDC_KX_STEP_X, ControlKind::Edit, 370, 308, 70, 24));
  c.push_back(Control(kLabel, ControlKind::Static, 224, 340, 140, 22, "Step Y (x1000)"));
  c.push_back(Control(IDC_KX_STEP_Y, ControlKind::Edit, 370, 338, 70, 24));
  c.push_back(Control(kLabel, ControlKind::GroupBox, 450, 244, 94, 70, "Material"));
  c.push_back(Control(IDC_KX_ROLL, ControlKind::Radio, 460, 262, 80, 22, "Roll", kGroup));
  c.push_back(Control(IDC_KX_SHEET, ControlKind::Radio, 460, 286, 80, 22, "Sheet"));
  c.push_back(Control(IDC_KX_STATUS, ControlKind::Static, 16, 304, 192, 22, "Ready"));
  c.push_back(Control(IDC_KX_START, ControlKind::Button, 16, 376, 100, 30, "Start", kDefault));
  c.push_back(Control(IDC_KX_STOP, ControlKind::Button, 128, 376, 100, 30, "Close"));
  return t;
}

DialogTemplate MakeSetupPageTemplate() {
  DialogTemplate t{"(*v*)Kestrix", 568, 372, false, {}};
  auto& c = t.controls;
  c.push_back(Control(kLabel, ControlKind::GroupBox, 12, 8, 330, 232, "(*v*)Camera"));
  c.push_back(Control(IDC_KX_AUTO_WHITE_BALANCE, ControlKind::Check, 24, 30, 300, 22,
                      "(*v*)Automatic white balance"));
  c.push_back(Control(IDC_KX_GAMMA_MODE, ControlKind::Check, 24, 54, 300, 22, "(*v*)Gamma mode"));
  AddLabelledField(c, "(*v*)Gain", IDC_KX_GAIN, ControlKind::Slider, 84, 146, 184);
  AddLabelledField(c, "(*v*)Sharpness", IDC_KX_SHARP, ControlKind::Slider, 114, 146, 184);
  AddLabelledField(c, "(*v*)Gamma", IDC_KX_GAMMA, ControlKind::Slider, 144, 146, 184);
  c.push_back(Control(kLabel, ControlKind::Static, 24, 178, 306, 20, "(*v*)Light level control"));
  c.push_back(Control(IDC_KX_ALC_MODE, ControlKind::ComboBox, 24, 202, 306, 24));
  c.push_back(Control(kLabel, ControlKind::GroupBox, 12, 250, 330, 112, "(*v*)Camera position"));
  AddLabelledField(c, "(*v*)Scale", IDC_KX_SCALE, ControlKind::Edit, 270, 118, 100);
  AddLabelledField(c, "(*v*)X offset", IDC_KX_X_OFFSET, ControlKind::Edit, 300, 118, 100);
  AddLabelledField(c, "(*v*)Y offset", IDC_KX_Y_OFFSET, ControlKind::Edit, 330, 118, 100);
  c.push_back(Control(IDC_KX_CALIBRATE, ControlKind::Button, 230, 298, 100, 28, "(*v*)Calibrate"));
  c.push_back(Control(kLabel, ControlKind::Static, 360, 8, 192, 20, "(*v*)Camera Image"));
  c.push_back(Control(IDC_KX_LIVE, ControlKind::Picture, 360, 30, 192, 256));
  c.push_back(Control(IDOK, ControlKind::Button, 360, 334, 92, 28, "(*v*)OK", kDefault));
  c.push_back(Control(IDCANCEL, ControlKind::Button, 460, 334, 92, 28, "(*v*)Cancel"));
  return t;
}

DialogTemplate MakeAcquireDialogTemplate() {
  DialogTemplate t{"Reference image", 640, 488, false, {}};
  t.controls = {
      Control(kLabel, ControlKind::Static, 16, 10, 192, 20, "Camera"),
      Control(IDC_KX_ACQUIRE_LIVE, ControlKind::Picture, 16, 32, 192, 256),
      Control(kLabel, ControlKind::Static, 224, 10, 400, 20, "Montage"),
      Control(IDC_KX_MONTAGE, ControlKind::Picture, 224, 32, 400, 352),
      Control(kLabel, ControlKind::Static, 16, 296, 192, 20, "Grow the area"),
      Control(IDC_KX_ZET_START, ControlKind::BitmapButton, 224, 396, 92, 30, "Start"),
      Control(IDC_KX_ZET_END, ControlKind::BitmapButton, 324, 396, 92, 30, "End"),
      Control(IDOK, ControlKind::BitmapButton, 432, 396, 92, 30, "OK"),
      Control(IDCANCEL, ControlKind::Button, 532, 396, 92, 30, "Cancel"),
      Control(IDC_KX_MESSAGE, ControlKind::Static, 16, 458, 608, 20),
  };
  // The pad: row by row, top to bottom, left to right; the centre has no button.
  constexpr int kPadLeft = 46;
  constexpr int kPadTop = 320;
  constexpr int kPitch = 44;
  constexpr int kButton = 40;
  const std::array<std::array<int, 3>, 3> pad{
      {{IDC_KX_ORIGIN_TL, IDC_KX_ORIGIN_TC, IDC_KX_ORIGIN_TR},
       {IDC_KX_ORIGIN_CL, 0, IDC_KX_ORIGIN_CR},
       {IDC_KX_ORIGIN_BL, IDC_KX_ORIGIN_BC, IDC_KX_ORIGIN_BR}}};
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
  UINT id;
  bool diagonal;
  int quarterTurns;  // clockwise
};
constexpr std::array<ArrowShape, 8> kArrowShapes{{{IDB_KX_ARROW_UP, false, 0},
                                                  {IDB_KX_ARROW_RIGHT, false, 1},
                                                  {IDB_KX_ARROW_DOWN, false, 2},
                                                  {IDB_KX_ARROW_LEFT, false, 3},
                                                  {IDB_KX_ARROW_UP_RIGHT, true, 0},
                                                  {IDB_KX_ARROW_DOWN_RIGHT, true, 1},
                                                  {IDB_KX_ARROW_DOWN_LEFT, true, 2},
                                                  {IDB_KX_ARROW_UP_LEFT, true, 3}}};

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
  const auto shape = std::find_if(kArrowShapes.begin(), kArrowShapes.end(),
                                  [id](const ArrowShape& s) { return s.id == id; });
  if (shape == kArrowShapes.end()) return cv::Mat();
  cv::Mat image = DrawArrow(shape->diagonal);
  static constexpr std::array<cv::RotateFlags, 3> kTurns{cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180,
                                                         cv::ROTATE_90_COUNTERCLOCKWISE};
  if (shape->quarterTurns > 0) {
    cv::Mat turned;
    cv::rotate(image, turned, kTurns[static_cast<std::size_t>(shape->quarterTurns - 1)]);
    image = turned;
  }
  return image;
}

HostResources::HostResources() {
  m_templates.emplace(IDD_KESTRIX_RUN, MakeRunDialogTemplate());
  m_templates.emplace(IDD_KESTRIX_SETUP, MakeSetupPageTemplate());
  m_templates.emplace(IDD_KESTRIX_ACQUIRE, MakeAcquireDialogTemplate());
}

const DialogTemplate* HostResources::FindDialogTemplate(UINT id) const {
  const auto it = m_templates.find(id);
  return it == m_templates.end() ? nullptr : &it->second;
}

cv::Mat HostResources::FindBitmap(UINT id) const { return MakeArrowBitmap(id); }

}  // namespace kx
