// The simulated bed: the printed sheet with its copies, the camera's view of it, and ground truth.
#include "sim/World.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Units.h"
#include "sim/WorldSetup.h"

namespace kx {
namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr int kTile = 256;
constexpr std::size_t kMaxTiles = 384;  // about 75 MB of cached artwork
constexpr int kShift = 8;
constexpr int kPreviewStep = 4;  // frame pixels a preview pixel, each way
constexpr double kOne = 1 << kShift;
const cv::Scalar kBed(58, 66, 60);
const cv::Scalar kCut(38, 36, 34);
// The camera noise comes from a pool of kNoiseRows + one frame's rows drawn once per world.
constexpr int kNoiseRows = 509;
constexpr std::uint64_t kNoiseStep = 263;

cv::Matx33d Translate(double x, double y) { return {1, 0, x, 0, 1, y, 0, 0, 1}; }
cv::Matx33d RotateDeg(double deg) {
  const double a = deg * kPi / 180.0, c = std::cos(a), s = std::sin(a);
  return {c, -s, 0, s, c, 0, 0, 0, 1};
}

// Frame pixels beyond this box are far outside the frame; geometry is cut to it before it is
// turned into the fixed-point coordinates the drawing takes, which must fit in an int.
const cv::Rect2d kDrawBox(-4096, -4096, 8192 + kFrameWidth, 8192 + kFrameHeight);

// The part of segment a-b inside box (Liang-Barsky); false when none is.
bool ClipSegment(cv::Point2d& a, cv::Point2d& b, const cv::Rect2d& box) {
  const cv::Point2d d = b - a;
  double t0 = 0, t1 = 1;
  const double p[4] = {-d.x, d.x, -d.y, d.y};
  const double q[4] = {a.x - box.x, box.x + box.width - a.x, a.y - box.y, box.y + box.height - a.y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  b = a + d * t1;
  a = a + d * t0;
  return true;
}

// The convex polygon cut to box (Sutherland-Hodgman), one edge of the box at a time.
std::vector<cv::Point2d> ClipPolygon(std::vector<cv::Point2d> poly, const cv::Rect2d& box) {
  const auto edge = [&](auto inside, auto cross) {
    std::vector<cv::Point2d> out;
    for (std::size_t i = 0; i < poly.size(); ++i) {
      const cv::Point2d a = poly[i], b = poly[(i + 1) % poly.size()];
      if (inside(a)) out.push_back(a);
      if (inside(a) != inside(b)) out.push_back(cross(a, b));
    }
    poly = std::move(out);
  };
  const double x0 = box.x, x1 = box.x + box.width, y0 = box.y, y1 = box.y + box.height;
  const auto atX = [](double x) {
    return [x](cv::Point2d a, cv::Point2d b) {
      return cv::Point2d(x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x));
    };
  };
  const auto atY = [](double y) {
    return [y](cv::Point2d a, cv::Point2d b) {
      return cv::Point2d(a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y);
    };
  };
  edge([&](cv::Point2d p) { return p.x >= x0; }, atX(x0));
  edge([&](cv::Point2d p) { return p.x <= x1; }, atX(x1));
  edge([&](cv::Point2d p) { return p.y >= y0; }, atY(y0));
  edge([&](cv::Point2d p) { return p.y <= y1; }, atY(y1));
  return poly;
}

// From p to the nearest point of the segment a-b.
cv::Point2d SegmentGap(cv::Point2d p, cv::Point2d a, cv::Point2d b) {
  const cv::Point2d d = b - a;
  const double len2 = d.dot(d);
  double t = len2 > 0 ? (p - a).dot(d) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  return a + d * t - p;
}

// Nearest-segment queries over a contour, bucketed on a square grid.
class SegmentGrid {
 public:
  SegmentGrid(const std::vector<std::vector<cv::Point2d>>& lines, double cell) : m_cell(cell) {
    for (const auto& line : lines)
      for (std::size_t i = 0; i + 1 < line.size(); ++i)
        m_segments.push_back({line[i], line[i + 1]});
    for (std::size_t i = 0; i < m_segments.size(); ++i) {
      const auto& [a, b] = m_segments[i];
      for (int cx = Cell(std::min(a.x, b.x)); cx <= Cell(std::max(a.x, b.x)); ++cx)
        for (int cy = Cell(std::min(a.y, b.y)); cy <= Cell(std::max(a.y, b.y)); ++cy)
          m_cells[{cx, cy}].push_back(i);
    }
  }
  double Distance(cv::Point2d p) const {
    // Compared as squares, the nearest gap's length taken once at the end.
    double best2 = std::numeric_limits<double>::infinity();
    cv::Point2d nearest(best2, best2);
    const int px = Cell(p.x), py = Cell(p.y);
    auto search = [&](const std::vector<std::size_t>& ids) {
      for (std::size_t i : ids) {
        const cv::Point2d q = SegmentGap(p, m_segments[i].first, m_segments[i].second);
        const double q2 = q.dot(q);
        if (q2 < best2) {
          best2 = q2;
          nearest = q;
        }
      }
    };
    // The neighbourhood first gives a tight bound; then every cell that could still beat it
    // (with a margin over the rounding of the squares: a cell searched in vain costs nothing).
    for (int cx = px - 1; cx <= px + 1; ++cx)
      for (int cy = py - 1; cy <= py + 1; ++cy)
        if (auto it = m_cells.find({cx, cy}); it != m_cells.end()) search(it->second);
    for (const auto& [cell, ids] : m_cells) {
      if (std::abs(cell.first - px) <= 1 && std::abs(cell.second - py) <= 1) continue;
      const double x0 = cell.first * m_cell, y0 = cell.second * m_cell;
      const double dx = std::max({x0 - p.x, 0.0, p.x - (x0 + m_cell)});
      const double dy = std::max({y0 - p.y, 0.0, p.y - (y0 + m_cell)});
      if (dx * dx + dy * dy < best2 * (1 + 1e-9)) search(ids);
    }
    return std::hypot(nearest.x, nearest.y);
  }

 private:
  int Cell(double v) const { return static_cast<int>(std::floor(v / m_cell)); }
  double m_cell;
  std::vector<std::pair<cv::Point2d, cv::Point2d>> m_segments;
  std::map<std::pair<int, int>, std::vector<std::size_t>> m_cells;
};
}  // namespace

cv::Point2d Apply(const cv::Matx33d& m, cv::Point2d p) {
  return {m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2), m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2)};
}

void ReplicatePixels(const cv::Mat& small, int factor, cv::Mat* out) {
  CV_Assert(small.type() == CV_8UC3 && factor > 0);
  out->create(small.rows * factor, small.cols * factor, CV_8UC3);
  const std::size_t rowBytes = static_cast<std::size_t>(out->cols) * 3;
  for (int y = 0; y < small.rows; ++y) {
    const uchar* src = small.ptr<uchar>(y);
    uchar* first = out->ptr<uchar>(y * factor);
    uchar* dst = first;
    for (int x = 0; x < small.cols; ++x, src += 3)
      for (int k = 0; k < factor; ++k, dst += 3) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
      }
    // The block's other rows are copies of its first.
    for (int k = 1; k < factor; ++k) std::memcpy(out->ptr<uchar>(y * factor + k), first, rowBytes);
  }
}

World::World(const WorldOptions& opts) : m_opts(opts), m_art(opts) {
  const WorldSheetOptions& s = opts.sheet;
  const cv::Matx33d shape(s.scaleX, s.shear, 0, 0, s.scaleY, 0, 0, 0, 1);
  m_bedFromSheet = Translate(s.offsetX, s.offsetY) * RotateDeg(s.rotation) * shape;

  const WorldCopyOptions& c = opts.copies;
  std::mt19937_64 rng(opts.seed * 0xD1B54A32D192ED03ULL + 5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const cv::Point2d half(c.width / 2, c.height / 2);
  for (int row = 0; row < c.rows; ++row) {
    for (int column = 0; column < c.columns; ++column) {
      CopyPlacement p;
      p.index = row * c.columns + column;
      p.column = column;
      p.row = row;
      const double jx = unit(rng) * c.jitter, jy = unit(rng) * c.jitter;
      const double jr = unit(rng) * c.jitterRotation;
      const cv::Matx33d sheetFromArtwork =
          Translate(s.margin + column * c.pitchX + jx, s.margin + row * c.pitchY + jy) *
          Translate(half.x, half.y) * RotateDeg(jr) * Translate(-half.x, -half.y);
      p.bedFromArtwork = m_bedFromSheet * sheetFromArtwork;
      std::vector<cv::Point2f> corners;
      for (cv::Point2d a : {cv::Point2d(0, 0), cv::Point2d(c.width, 0),
                            cv::Point2d(c.width, c.height), cv::Point2d(0, c.height)})
        corners.push_back(Apply(p.bedFromArtwork, a));
      p.bedBounds = cv::boundingRect(corners);
      m_copies.push_back(p);
    }
  }
  m_docOrigin = cv::Point2d(s.offsetX + s.margin, s.offsetY + s.margin) * kDocPerCutter;
  m_material = ResolveSetup(opts, SheetCorners()).material;

  const double res = opts.artwork.rasterResolution;
  m_rasterWidth = static_cast<int>(std::ceil(c.width / res)) + 1;
  m_rasterHeight = static_cast<int>(std::ceil(c.height / res)) + 1;

  // Light falls off toward the corners and slightly across the frame.
  cv::Mat gain(kFrameHeight, kFrameWidth, CV_8UC3);
  const double r2max = kFrameCentreX * kFrameCentreX + kFrameCentreY * kFrameCentreY;
  for (int v = 0; v < kFrameHeight; ++v) {
    for (int u = 0; u < kFrameWidth; ++u) {
      const double du = u - kFrameCentreX, dv = v - kFrameCentreY;
      const double g = 1.0 - opts.camera.vignetting * (du * du + dv * dv) / r2max -
                       opts.camera.lightGradient * u / kFrameWidth;
      const auto b = cv::saturate_cast<uchar>(g * 255.0);
      gain.at<cv::Vec3b>(v, u) = cv::Vec3b(b, b, b);
    }
  }
  m_gain = gain;
  const cv::Size previewSize(kFrameWidth / kPreviewStep, kFrameHeight / kPreviewStep);
  cv::resize(m_gain, m_previewGain, previewSize, 0, 0, cv::INTER_AREA);
  m_bed = cv::Mat(kFrameHeight, kFrameWidth, CV_8UC3, kBed);

  if (opts.camera.noiseSigma > 0) {
    cv::RNG noiseRng(opts.seed * 0x9E3779B97F4A7C15ULL + 1);
    m_noise.create(kFrameHeight + kNoiseRows, kFrameWidth, CV_16SC3);
    noiseRng.fill(m_noise, cv::RNG::NORMAL, 0.0, opts.camera.noiseSigma);
  }
}

cv::Point2d World::ArtworkFromDoc(cv::Point2d doc) const {
  return (doc - m_docOrigin) / kDocPerCutter;
}
cv::Point2d World::DocFromArtwork(cv::Point2d art) const {
  return m_docOrigin + art * kDocPerCutter;
}
cv::Point2d World::BedFromArtwork(int copy, cv::Point2d art) const {
  return Apply(m_copies.at(static_cast<std::size_t>(copy)).bedFromArtwork, art);
}
cv::Point2d World::BedFromDoc(int copy, cv::Point2d doc) const {
  return BedFromArtwork(copy, ArtworkFromDoc(doc));
}

cv::Point2d World::CameraCentre(cv::Point2d head) const {
  return head + cv::Point2d(m_opts.camera.offsetX, m_opts.camera.offsetY);
}
cv::Point2d World::HeadForCameraAt(cv::Point2d bed) const {
  return bed - cv::Point2d(m_opts.camera.offsetX, m_opts.camera.offsetY);
}
cv::Point2d World::BedFromPixel(cv::Point2d head, cv::Point2d pixel) const {
  const double s = m_opts.camera.scale;
  return CameraCentre(head) +
         cv::Point2d((pixel.x - kFrameCentreX) * s, -(pixel.y - kFrameCentreY) * s);
}
cv::Point2d World::PixelFromBed(cv::Point2d head, cv::Point2d bed) const {
  const double s = m_opts.camera.scale;
  const cv::Point2d d = bed - CameraCentre(head);
  return {kFrameCentreX + d.x / s, kFrameCentreY - d.y / s};
}

std::array<cv::Point2d, 4> World::SheetCorners() const {
  const WorldCopyOptions& c = m_opts.copies;
  const double m = m_opts.sheet.margin;
  double x0 = 0, y0 = 0;
  double x1 = 2 * m + (c.columns - 1) * c.pitchX + c.width;
  double y1 = 2 * m + (c.rows - 1) * c.pitchY + c.height;
  if (c.layout == "roll") {
    // The roll runs on past both ends of the bed.
    const double far = 4.0 * std::max(m_opts.cutter.bedWidth, m_opts.cutter.bedHeight);
    (c.rollAxis == "x" ? x0 : y0) = -far;
    (c.rollAxis == "x" ? x1 : y1) = far;
  }
  return {Apply(m_bedFromSheet, {x0, y0}), Apply(m_bedFromSheet, {x1, y0}),
          Apply(m_bedFromSheet, {x1, y1}), Apply(m_bedFromSheet, {x0, y1})};
}

std::vector<std::vector<cv::Point2d>> World::TrueContours(int copy, double maxStep) const {
  std::vector<std::vector<cv::Point2d>> out;
  for (const CutPath& path : m_art.CutPaths()) {
    std::vector<cv::Point2d> line = path.Flatten(maxStep);
    for (cv::Point2d& p : line) p = BedFromArtwork(copy, p);
    out.push_back(std::move(line));
  }
  return out;
}

CutScore World::ScoreCut(int copy, const std::vector<BedSegment>& knife) const {
  const SegmentGrid grid(TrueContours(copy, 2.0), 100.0);
  CutScore score;
  double sum2 = 0;
  for (const BedSegment& seg : knife) {
    const cv::Point2d d = seg.b - seg.a;
    const int n = std::max(1, static_cast<int>(std::ceil(std::hypot(d.x, d.y) / 5.0)));
    for (int k = 0; k <= n; ++k) {
      const double e = grid.Distance(seg.a + d * (static_cast<double>(k) / n));
      score.maxError = std::max(score.maxError, e);
      sum2 += e * e;
      ++score.points;
    }
  }
  if (score.points) score.rmsError = std::sqrt(sum2 / static_cast<double>(score.points));
  return score;
}

CalibratedSetup World::Calibrated() const {
  const auto& c = m_opts.camera;
  const auto& e = m_opts.calibration;
  return {c.scale * (1.0 + e.scaleError), c.offsetX + e.offsetErrorX, c.offsetY + e.offsetErrorY};
}

cv::Mat World::Tile(int tx, int ty) const {
  const std::pair<int, int> key(tx, ty);
  {
    std::lock_guard<std::mutex> lock(m_cacheMutex);
    auto it = m_tiles.find(key);
    if (it != m_tiles.end()) return it->second;
  }
  // Rendered outside the lock; two threads asking at once render it twice, which is harmless.
  cv::Mat tile(kTile, kTile, CV_8UC3);
  m_art.Render(m_opts.artwork.rasterResolution, tx * kTile, ty * kTile, tile);
  std::lock_guard<std::mutex> lock(m_cacheMutex);
  if (m_tiles.emplace(key, tile).second) {
    m_tileOrder.push_back(key);
    if (m_tileOrder.size() > kMaxTiles) {
      m_tiles.erase(m_tileOrder.front());
      m_tileOrder.pop_front();
    }
  }
  return tile;
}

cv::Mat World::PreviewArtwork() const {
  // Drawn under the lock, once per world: a sixteenth of a copy at the camera's scale.
  std::lock_guard<std::mutex> lock(m_cacheMutex);
  if (m_previewArt.empty()) {
    const double res = m_opts.camera.scale * kPreviewStep;
    cv::Mat art(static_cast<int>(std::ceil(m_art.Height() / res)) + 1,
                static_cast<int>(std::ceil(m_art.Width() / res)) + 1, CV_8UC3);
    m_art.Render(res, 0, 0, art);
    m_previewArt = art;
  }
  return m_previewArt;
}

cv::Mat World::ArtworkRegion(int x0, int y0, int w, int h) const {
  // The tiles cover every pixel: no fill first.
  cv::Mat out(h, w, CV_8UC3);
  AssembleRegion(x0, y0, out);
  return out;
}

void World::AssembleRegion(int x0, int y0, const cv::Mat& out) const {
  const int w = out.cols;
  const int h = out.rows;
  const auto floorDiv = [](int a) { return a >= 0 ? a / kTile : -((-a + kTile - 1) / kTile); };
  for (int ty = floorDiv(y0); ty <= floorDiv(y0 + h - 1); ++ty) {
    for (int tx = floorDiv(x0); tx <= floorDiv(x0 + w - 1); ++tx) {
      const cv::Rect tileRect(tx * kTile, ty * kTile, kTile, kTile);
      const cv::Rect overlap = tileRect & cv::Rect(x0, y0, w, h);
      if (overlap.empty()) continue;
      Tile(tx, ty)(overlap - tileRect.tl()).copyTo(out(overlap - cv::Point(x0, y0)));
    }
  }
}

cv::Mat World::RenderFrame(cv::Point2d head, const std::vector<BedSegment>& cuts,
                           std::uint64_t frameIndex) const {
  cv::Mat frame = RenderScene(head, cuts);
  AddNoise(frame, frameIndex);
  return frame;
}

cv::Mat World::RenderScene(cv::Point2d head, const std::vector<BedSegment>& cuts) const {
  const double s = m_opts.camera.scale;
  const double res = m_opts.artwork.rasterResolution;
  const cv::Point2d centre = CameraCentre(head);
  cv::Mat frame = m_bed.clone();
  auto fixed = [](cv::Point2d p) {
    return cv::Point(static_cast<int>(std::lround(p.x * kOne)),
                     static_cast<int>(std::lround(p.y * kOne)));
  };

  // The calibration material lies on the bed; the printed sheet, where they meet, on top.
  if (!m_material.empty()) {
    std::vector<cv::Point2d> materialCorners;
    for (cv::Point2d p : {m_material.tl(), cv::Point2d(m_material.br().x, m_material.y),
                          m_material.br(), cv::Point2d(m_material.x, m_material.br().y)})
      materialCorners.push_back(PixelFromBed(head, p));
    std::vector<cv::Point> patch;
    for (const cv::Point2d& p : ClipPolygon(materialCorners, kDrawBox)) patch.push_back(fixed(p));
    if (patch.size() >= 3) cv::fillConvexPoly(frame, patch, Artwork::kPaper, cv::LINE_AA, kShift);
  }
  std::vector<cv::Point2d> corners;
  for (const cv::Point2d& p : SheetCorners()) corners.push_back(PixelFromBed(head, p));
  std::vector<cv::Point> sheet;
  for (const cv::Point2d& p : ClipPolygon(corners, kDrawBox)) sheet.push_back(fixed(p));
  if (sheet.size() >= 3) cv::fillConvexPoly(frame, sheet, Artwork::kPaper, cv::LINE_AA, kShift);

  // Frame pixel -> bed -> artwork -> artwork raster, as one affine map per copy.
  const cv::Matx33d bedFromFrame(s, 0, centre.x - kFrameCentreX * s, 0, -s,
                                 centre.y + kFrameCentreY * s, 0, 0, 1);
  const cv::Matx33d rasterFromArtwork(1 / res, 0, 0, 0, -1 / res, m_art.Height() / res, 0, 0, 1);
  const cv::Rect2d view = View(head);
  for (const CopyPlacement& copy : m_copies) {
    if ((copy.bedBounds & view).empty()) continue;
    const cv::Matx33d rasterFromFrame =
        rasterFromArtwork * copy.bedFromArtwork.inv() * bedFromFrame;
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (cv::Point2d f : {cv::Point2d(-1, -1), cv::Point2d(kFrameWidth, -1),
                          cv::Point2d(-1, kFrameHeight), cv::Point2d(kFrameWidth, kFrameHeight)}) {
      const cv::Point2d r = Apply(rasterFromFrame, f);
      minX = std::min(minX, r.x), maxX = std::max(maxX, r.x);
      minY = std::min(minY, r.y), maxY = std::max(maxY, r.y);
    }
    const cv::Rect region = cv::Rect(cv::Point(static_cast<int>(std::floor(minX)) - 2,
                                               static_cast<int>(std::floor(minY)) - 2),
                                     cv::Point(static_cast<int>(std::ceil(maxX)) + 3,
                                               static_cast<int>(std::ceil(maxY)) + 3)) &
                            cv::Rect(0, 0, m_rasterWidth, m_rasterHeight);
    if (region.empty()) continue;
    // Regions differ by a pixel or two from frame to frame: one buffer a thread, grown as needed.
    thread_local cv::Mat buffer;
    if (buffer.rows < region.height || buffer.cols < region.width)
      buffer.create(std::max(buffer.rows, region.height + 64),
                    std::max(buffer.cols, region.width + 64), CV_8UC3);
    const cv::Mat src = buffer(cv::Rect(0, 0, region.width, region.height));
    AssembleRegion(region.x, region.y, src);
    const cv::Matx33d m = Translate(-region.x, -region.y) * rasterFromFrame;
    const cv::Matx23d warp(m(0, 0), m(0, 1), m(0, 2), m(1, 0), m(1, 1), m(1, 2));
    cv::warpAffine(src, frame, warp, frame.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                   cv::BORDER_TRANSPARENT);
  }

  DrawCuts(frame, head, cuts, 1);

  if (m_opts.camera.blurSigma > 0)
    cv::GaussianBlur(frame, frame, cv::Size(0, 0), m_opts.camera.blurSigma);
  cv::multiply(frame, m_gain, frame, 1.0 / 255.0);
  return frame;
}

void World::AddNoise(cv::Mat& frame, std::uint64_t frameIndex) const {
  if (m_noise.empty()) return;
  // Successive frames take rows kNoiseStep apart, so no two of kNoiseRows frames in a row repeat.
  const int first = static_cast<int>((frameIndex * kNoiseStep) % kNoiseRows);
  cv::add(frame, m_noise.rowRange(first, first + kFrameHeight), frame, cv::noArray(), CV_8UC3);
}

cv::Rect2d World::View(cv::Point2d head) const {
  const double s = m_opts.camera.scale;
  const cv::Point2d centre = CameraCentre(head);
  return {centre.x - (kFrameCentreX + 2) * s, centre.y - (kFrameCentreY + 2) * s,
          (kFrameWidth + 4) * s, (kFrameHeight + 4) * s};
}

void World::DrawCuts(cv::Mat& frame, cv::Point2d head, const std::vector<BedSegment>& cuts,
                     int step) const {
  const double s = m_opts.camera.scale * step;
  if (m_opts.cutter.cutWidth <= 0) return;
  const int width = std::max(1, static_cast<int>(std::lround(m_opts.cutter.cutWidth / s)));
  const cv::Rect2d view = View(head);
  const double shrink = 1.0 / step;
  auto fixed = [&](cv::Point2d p) {
    return cv::Point(static_cast<int>(std::lround(p.x * shrink * kOne)),
                     static_cast<int>(std::lround(p.y * shrink * kOne)));
  };
  for (const BedSegment& seg : cuts) {
    const cv::Rect2d box(std::min(seg.a.x, seg.b.x) - 20, std::min(seg.a.y, seg.b.y) - 20,
                         std::abs(seg.b.x - seg.a.x) + 40, std::abs(seg.b.y - seg.a.y) + 40);
    if ((box & view).empty()) continue;
    cv::Point2d a = PixelFromBed(head, seg.a), b = PixelFromBed(head, seg.b);
    if (!ClipSegment(a, b, kDrawBox)) continue;
    cv::line(frame, fixed(a), fixed(b), kCut, width, cv::LINE_AA, kShift);
  }
}

cv::Mat World::RenderPreview(cv::Point2d head, const std::vector<BedSegment>& cuts) const {
  cv::Mat frame;
  RenderPreview(head, cuts, &frame);
  return frame;
}

void World::RenderPreview(cv::Point2d head, const std::vector<BedSegment>& cuts,
                          cv::Mat* frame) const {
  constexpr int kStep = kPreviewStep;
  const double s = m_opts.camera.scale * kStep;
  const cv::Point2d centre = CameraCentre(head);
  const cv::Size size(kFrameWidth / kStep, kFrameHeight / kStep);
  cv::Mat small(size, CV_8UC3, kBed);
  // The calibration material under the sheet, as in the full render; both cut to the drawing box
  // before they become integer pixels.
  const auto fillPatch = [&](const std::vector<cv::Point2d>& bedCorners) {
    std::vector<cv::Point2d> frameCorners;
    for (const cv::Point2d& p : bedCorners) frameCorners.push_back(PixelFromBed(head, p));
    std::vector<cv::Point> patch;
    for (const cv::Point2d& p : ClipPolygon(frameCorners, kDrawBox)) {
      const cv::Point2d q = p / kStep;
      patch.emplace_back(static_cast<int>(std::lround(q.x)), static_cast<int>(std::lround(q.y)));
    }
    if (patch.size() >= 3) cv::fillConvexPoly(small, patch, Artwork::kPaper, cv::LINE_8);
  };
  if (!m_material.empty())
    fillPatch({m_material.tl(), cv::Point2d(m_material.br().x, m_material.y), m_material.br(),
               cv::Point2d(m_material.x, m_material.br().y)});
  const auto sheet = SheetCorners();
  fillPatch({sheet.begin(), sheet.end()});

  // Nearest pixel from the artwork drawn once at the preview's own resolution: the full-size
  // tiles are left to the frames that are read.
  const cv::Mat art = PreviewArtwork();
  const cv::Matx33d bedFromSmall(s, 0, centre.x - size.width / 2.0 * s, 0, -s,
                                 centre.y + size.height / 2.0 * s, 0, 0, 1);
  const cv::Matx33d rasterFromArtwork(1 / s, 0, 0, 0, -1 / s, m_art.Height() / s, 0, 0, 1);
  const cv::Rect2d view = View(head);
  for (const CopyPlacement& copy : m_copies) {
    if ((copy.bedBounds & view).empty()) continue;
    const cv::Matx33d m = rasterFromArtwork * copy.bedFromArtwork.inv() * bedFromSmall;
    const cv::Matx23d warp(m(0, 0), m(0, 1), m(0, 2), m(1, 0), m(1, 1), m(1, 2));
    cv::warpAffine(art, small, warp, size, cv::INTER_NEAREST | cv::WARP_INVERSE_MAP,
                   cv::BORDER_TRANSPARENT);
  }
  DrawCuts(small, head, cuts, kStep);
  // Lit at its own resolution: a sixteenth of the work, the light changing in blocks of pixels.
  cv::multiply(small, m_previewGain, small, 1.0 / 255.0);
  ReplicatePixels(small, kStep, frame);
}

}  // namespace kx
