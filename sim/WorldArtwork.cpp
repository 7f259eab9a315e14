// The printed artwork of one copy.
#include "sim/WorldArtwork.h"

#include <algorithm>
#include <cmath>
#include <random>

#include <opencv2/imgproc.hpp>

namespace kx {

const cv::Scalar Artwork::kPaper(246, 248, 248);

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr int kShift = 8;  // sub-pixel bits for OpenCV drawing
constexpr double kOne = 1 << kShift;
// Side of the square corner areas and their centres' distance from the copy's edges.
constexpr double kCornerSide = 400.0;
constexpr double kCornerInset = 450.0;

const cv::Scalar kPalette[] = {
    {40, 40, 200},  {40, 160, 40},  {200, 90, 30}, {30, 180, 230}, {160, 40, 160},
    {180, 170, 40}, {60, 100, 160}, {20, 20, 20},  {90, 40, 110},  {50, 130, 250},
};

cv::Point2d Rotate(cv::Point2d p, double deg) {
  const double a = deg * kPi / 180.0;
  return {p.x * std::cos(a) - p.y * std::sin(a), p.x * std::sin(a) + p.y * std::cos(a)};
}

// Text in Hershey glyphs, centred on the shape's centre, anchored at a whole pixel of the raster
// it is rendered into, as the library draws it. The print is the raster the camera sees (printRes
// units a pixel, pixel centres on whole multiples of it). With asPrinted, a render at any other
// resolution or phase (the reference bitmap, pictures) puts the glyphs where the print's anchor
// lies on the copy, to a fraction of a pixel (drawn at a whole pixel, then shifted the rest of the
// way); without it each render anchors at its own whole pixels, up to a pixel from the print.
void DrawText(cv::Mat& out, const ArtShape& s, double res, double phase, cv::Point tile,
              double printRes, double height, bool asPrinted) {
  constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;
  // Hershey glyphs are about 22 units high at scale 1.
  const auto fit = [&s](double r, int* thickness) {
    const double heightPx = s.width / r;
    *thickness = std::max(1, static_cast<int>(heightPx / 8));
    return heightPx / 22.0;
  };
  int baseline = 0;
  if (!asPrinted || (res == printRes && phase == 0.0)) {
    int thickness = 0;
    const double scale = fit(res, &thickness);
    const cv::Size size = cv::getTextSize(s.text, kFont, scale, thickness, &baseline);
    const cv::Point2d c((s.centre.x / res - phase - tile.x) + tile.x,
                        ((height - s.centre.y) / res - phase - tile.y) + tile.y);
    const cv::Point org(static_cast<int>(std::lround(c.x - size.width / 2.0)) - tile.x,
                        static_cast<int>(std::lround(c.y + size.height / 2.0)) - tile.y);
    cv::putText(out, s.text, org, kFont, scale, s.colour, thickness, cv::LINE_AA);
    return;
  }
  int printThickness = 0;
  const double printScale = fit(printRes, &printThickness);
  const cv::Size printSize = cv::getTextSize(s.text, kFont, printScale, printThickness, &baseline);
  const cv::Point printOrg(
      static_cast<int>(std::lround(s.centre.x / printRes - printSize.width / 2.0)),
      static_cast<int>(std::lround((height - s.centre.y) / printRes + printSize.height / 2.0)));
  int thickness = 0;
  const double scale = fit(res, &thickness);
  const cv::Point2d org(printOrg.x * printRes / res - phase - tile.x,
                        printOrg.y * printRes / res - phase - tile.y);
  const cv::Point whole(static_cast<int>(std::floor(org.x)), static_cast<int>(std::floor(org.y)));
  const cv::Point2d frac = org - cv::Point2d(whole);
  const cv::Size size = cv::getTextSize(s.text, kFont, scale, thickness, &baseline);
  const int m = thickness + 3;
  const cv::Rect box(whole.x - m, whole.y - size.height - m, size.width + 2 * m,
                     size.height + baseline + 2 * m);
  const cv::Rect target = box & cv::Rect(0, 0, out.cols, out.rows);
  if (target.empty()) return;
  // Coverage drawn with pixels to spare around the target, then moved by the fraction.
  const cv::Rect source(target.x - 2, target.y - 2, target.width + 4, target.height + 4);
  cv::Mat mask(source.size(), CV_8U, cv::Scalar(0));
  cv::putText(mask, s.text, whole - source.tl(), kFont, scale, cv::Scalar(255), thickness,
              cv::LINE_AA);
  cv::Mat alpha;
  cv::warpAffine(mask, alpha, cv::Matx23d(1, 0, 2 - frac.x, 0, 1, 2 - frac.y), target.size(),
                 cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar(0));
  cv::Mat roi = out(target);
  for (int y = 0; y < roi.rows; ++y) {
    const uchar* a = alpha.ptr<uchar>(y);
    auto* px = roi.ptr<cv::Vec3b>(y);
    for (int x = 0; x < roi.cols; ++x) {
      if (a[x] == 0) continue;
      const double w = a[x] / 255.0;
      for (int k = 0; k < 3; ++k)
        px[x][k] = cv::saturate_cast<uchar>(px[x][k] + (s.colour[k] - px[x][k]) * w);
    }
  }
}
}  // namespace

std::vector<cv::Point2d> CutPath::Flatten(double maxStep) const {
  std::vector<cv::Point2d> out;
  const double step = std::max(maxStep, 1e-3);
  if (isArc) {
    const double length = std::abs(sweepDeg) * kPi / 180.0 * radius;
    const int n = std::max(8, static_cast<int>(std::ceil(length / step)));
    for (int i = 0; i <= n; ++i) {
      const double a = (startDeg + sweepDeg * i / n) * kPi / 180.0;
      out.push_back(centre + cv::Point2d(radius * std::cos(a), radius * std::sin(a)));
    }
    return out;
  }
  std::vector<cv::Point2d> pts = points;
  if (closed && !pts.empty()) pts.push_back(pts.front());
  for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
    const cv::Point2d d = pts[i + 1] - pts[i];
    const int n = std::max(1, static_cast<int>(std::ceil(std::hypot(d.x, d.y) / step)));
    for (int k = 0; k < n; ++k) out.push_back(pts[i] + d * (static_cast<double>(k) / n));
  }
  if (!pts.empty()) out.push_back(pts.back());
  return out;
}

std::vector<cv::Point2d> ShapeOutline(const ArtShape& s, double grow) {
  std::vector<cv::Point2d> local;
  if (s.kind == ShapeKind::Rectangle) {
    const double hw = s.width / 2 + grow, hh = s.height / 2 + grow;
    local = {{-hw, -hh}, {hw, -hh}, {hw, hh}, {-hw, hh}};
  } else if (s.kind == ShapeKind::Star) {
    for (int i = 0; i < 10; ++i) {
      const double r = (i % 2 == 0 ? s.radius : s.inner) + grow;
      const double a = (90.0 + 36.0 * i) * kPi / 180.0;
      local.push_back({r * std::cos(a), r * std::sin(a)});
    }
  }
  for (cv::Point2d& p : local) p = s.centre + Rotate(p, s.angle);
  return local;
}

Artwork::Artwork(const WorldOptions& opts)
    : m_width(opts.copies.width),
      m_height(opts.copies.height),
      m_printRes(opts.artwork.rasterResolution),
      m_textAsPrinted(opts.artwork.textAsPrinted) {
  std::mt19937_64 rng(opts.seed * 0x9E3779B97F4A7C15ULL + 17);
  for (int corner = 0; corner < 4; ++corner) AddCornerFeature(corner, rng());

  // Coloured shapes scattered over the middle, kept clear of each other and of the corners.
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double border = kCornerInset + kCornerSide;
  std::vector<std::pair<cv::Point2d, double>> taken;
  for (const cv::Rect2d& r : m_corners)
    taken.push_back({r.tl() + cv::Point2d(r.width / 2, r.height / 2), kCornerSide * 0.8});
  const double textBand = opts.artwork.text ? m_height * 0.5 : -1e9;
  for (int i = 0, tries = 0; i < opts.artwork.shapes && tries < 4000; ++tries) {
    const double maxR = std::min(900.0, std::min(m_width, m_height) / 6);
    const double r = maxR * (0.35 + 0.65 * unit(rng));
    const cv::Point2d c(border * 0.6 + r + unit(rng) * (m_width - 2 * (border * 0.6 + r)),
                        border * 0.6 + r + unit(rng) * (m_height - 2 * (border * 0.6 + r)));
    if (c.x - r < 200 || c.y - r < 200 || c.x + r > m_width - 200 || c.y + r > m_height - 200)
      continue;
    if (std::abs(c.y - textBand) < r + 300) continue;
    bool clear = true;
    for (const auto& [p, pr] : taken)
      clear = clear && std::hypot(c.x - p.x, c.y - p.y) > r + pr + 80;
    if (!clear) continue;
    taken.push_back({c, r});
    ArtShape s;
    s.kind = static_cast<ShapeKind>(i % 4);
    s.centre = c;
    s.radius = r;
    s.inner = s.kind == ShapeKind::Star ? r * 0.45 : r * 0.55;
    s.width = r * 1.6;
    s.height = r * (0.9 + 0.5 * unit(rng));
    s.angle = unit(rng) * 90.0;
    s.colour = kPalette[(i * 3 + tries) % 7];
    s.cut = true;
    m_shapes.push_back(s);
    AddCutPath(s, opts.artwork.cutBleed);
    ++i;
  }
  if (opts.artwork.text) {
    ArtShape t;
    t.kind = ShapeKind::Text;
    t.centre = {m_width / 2, textBand};
    t.width = std::min(420.0, m_height / 10);
    t.colour = kPalette[7];
    t.text = "SAMPLE " + std::to_string(opts.seed % 1000);
    m_shapes.push_back(t);
  }
}

void Artwork::AddCornerFeature(int corner, std::uint64_t seed) {
  const bool right = corner == 1 || corner == 3;
  const bool top = corner >= 2;
  const cv::Point2d c(right ? m_width - kCornerInset : kCornerInset,
                      top ? m_height - kCornerInset : kCornerInset);
  m_corners[corner] =
      cv::Rect2d(c.x - kCornerSide / 2, c.y - kCornerSide / 2, kCornerSide, kCornerSide);
  // Each corner gets its own arrangement so that no mark's area looks like another's.
  const double spin = 25.0 * corner + static_cast<double>(seed % 20);
  ArtShape square;
  square.kind = ShapeKind::Rectangle;
  square.centre = c + Rotate({-70, -60}, spin);
  square.width = 170;
  square.height = 120 + 15 * corner;
  square.angle = spin;
  square.colour = kPalette[corner];
  m_shapes.push_back(square);

  ArtShape dot;
  dot.kind = ShapeKind::Circle;
  dot.centre = c + Rotate({85, 75}, spin);
  dot.radius = 55 + 8 * corner;
  dot.colour = kPalette[7];
  m_shapes.push_back(dot);

  ArtShape star;
  star.kind = ShapeKind::Star;
  star.centre = c + Rotate({80, -95}, spin);
  star.radius = 85;
  star.inner = 38;
  star.angle = spin * 2;
  star.colour = kPalette[4 + corner];
  m_shapes.push_back(star);

  ArtShape letter;
  letter.kind = ShapeKind::Text;
  letter.centre = c + Rotate({-80, 95}, spin);
  letter.width = 110;
  letter.colour = kPalette[8];
  letter.text = std::string(1, static_cast<char>('A' + corner));
  m_shapes.push_back(letter);
}

void Artwork::AddCutPath(const ArtShape& s, double bleed) {
  CutPath p;
  switch (s.kind) {
    case ShapeKind::Circle:
    case ShapeKind::Ring:
      p.isArc = true;
      p.centre = s.centre;
      p.radius = s.radius + bleed;
      p.startDeg = s.angle;
      p.sweepDeg = 360.0;
      m_cuts.push_back(p);
      if (s.kind == ShapeKind::Ring) {
        p.radius = std::max(1.0, s.inner - bleed);
        m_cuts.push_back(p);
      }
      break;
    case ShapeKind::Rectangle:
    case ShapeKind::Star:
      p.points = ShapeOutline(s, bleed);
      p.closed = true;
      m_cuts.push_back(p);
      break;
    case ShapeKind::Text:
      break;
  }
}

void Artwork::Render(double res, int x0, int y0, cv::Mat& out, double phase) const {
  out.setTo(kPaper);
  const cv::Rect2d area(x0 * res - 1, m_height - (y0 + out.rows) * res - 1, out.cols * res + 2,
                        out.rows * res + 2);
  auto toPx = [&](cv::Point2d p) {
    return cv::Point2d(p.x / res - phase - x0, (m_height - p.y) / res - phase - y0);
  };
  auto fixed = [](cv::Point2d p) {
    return cv::Point(static_cast<int>(std::lround(p.x * kOne)),
                     static_cast<int>(std::lround(p.y * kOne)));
  };
  for (const ArtShape& s : m_shapes) {
    const double reach =
        std::max({s.radius, s.width, s.height}) * (s.kind == ShapeKind::Text ? 8.0 : 1.0);
    if (s.centre.x + reach < area.x || s.centre.x - reach > area.x + area.width ||
        s.centre.y + reach < area.y || s.centre.y - reach > area.y + area.height)
      continue;
    switch (s.kind) {
      case ShapeKind::Rectangle:
      case ShapeKind::Star: {
        std::vector<cv::Point> poly;
        for (const cv::Point2d& p : ShapeOutline(s)) poly.push_back(fixed(toPx(p)));
        cv::fillPoly(out, std::vector<std::vector<cv::Point>>{poly}, s.colour, cv::LINE_AA, kShift);
        break;
      }
      case ShapeKind::Circle:
      case ShapeKind::Ring:
        cv::circle(out, fixed(toPx(s.centre)), static_cast<int>(std::lround(s.radius / res * kOne)),
                   s.colour, cv::FILLED, cv::LINE_AA, kShift);
        if (s.kind == ShapeKind::Ring)
          cv::circle(out, fixed(toPx(s.centre)),
                     static_cast<int>(std::lround(s.inner / res * kOne)), kPaper, cv::FILLED,
                     cv::LINE_AA, kShift);
        break;
      case ShapeKind::Text:
        DrawText(out, s, res, phase, {x0, y0}, m_printRes, m_height, m_textAsPrinted);
        break;
    }
  }
}

}  // namespace kx
