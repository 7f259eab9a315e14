// The simulated bed: the printed sheet with its copies, the camera's view of it, and ground truth.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <opencv2/core.hpp>

#include "sim/WorldArtwork.h"
#include "sim/WorldOptions.h"

namespace kx {

// A straight piece of knife travel on the bed, cutter units.
struct BedSegment {
  cv::Point2d a;
  cv::Point2d b;
};

// Where one copy truly lies. index = row * columns + column.
struct CopyPlacement {
  int index = 0;
  int column = 0;
  int row = 0;
  cv::Matx33d bedFromArtwork;  // homogeneous affine map
  cv::Rect2d bedBounds;        // axis-aligned box around the copy on the bed
};

// Distances from knife points to the printed contour, cutter units.
struct CutScore {
  double maxError = 0;
  double rmsError = 0;
  std::size_t points = 0;
};

// What a calibration of this world's camera stores ("Scale", "X OffSet", "Y OffSet").
struct CalibratedSetup {
  double scale = 1.0;
  double xOffset = 0.0;
  double yOffset = 0.0;
};

// Immutable after construction apart from its raster cache; thread-safe.
class World {
 public:
  explicit World(const WorldOptions& opts);

  const WorldOptions& Options() const { return m_opts; }
  const Artwork& Art() const { return m_art; }
  const std::vector<CopyPlacement>& Copies() const { return m_copies; }

  // Document position (document units, y up) of the artwork's lower-left corner: the job places
  // its reference bitmap there and copy 0 lies nominally under it.
  cv::Point2d DocOrigin() const { return m_docOrigin; }
  cv::Point2d ArtworkFromDoc(cv::Point2d doc) const;
  cv::Point2d DocFromArtwork(cv::Point2d art) const;
  // Where copy's artwork or document point truly lies on the bed, cutter units.
  cv::Point2d BedFromArtwork(int copy, cv::Point2d art) const;
  cv::Point2d BedFromDoc(int copy, cv::Point2d doc) const;

  // The bed point under the frame centre when the head stands at head.
  cv::Point2d CameraCentre(cv::Point2d head) const;
  // The head position at which the frame centre shows bed point bed.
  cv::Point2d HeadForCameraAt(cv::Point2d bed) const;
  // The bed point that frame pixel (u, v) shows, and back.
  cv::Point2d BedFromPixel(cv::Point2d head, cv::Point2d pixel) const;
  cv::Point2d PixelFromBed(cv::Point2d head, cv::Point2d bed) const;
  // The paper's corners on the bed, counter-clockwise from lower-left.
  std::array<cv::Point2d, 4> SheetCorners() const;

  // Copy's cut paths mapped onto the bed, as polylines with points at most maxStep apart.
  std::vector<std::vector<cv::Point2d>> TrueContours(int copy, double maxStep = 5.0) const;
  // For knife points every few units along the segments: their distance to copy's true contour.
  CutScore ScoreCut(int copy, const std::vector<BedSegment>& knife) const;
  CalibratedSetup Calibrated() const;
  // The light material laid on the bed for the calibration square; empty when there is none.
  cv::Rect2d CalibrationMaterial() const { return m_material; }

  // The camera frame (640 rows x 480 columns, CV_8UC3) with the head at head (cutter units) and
  // the given knife cuts on the bed. frameIndex picks the noise: the same index, the same frame.
  // It is RenderScene followed by AddNoise.
  cv::Mat RenderFrame(cv::Point2d head, const std::vector<BedSegment>& cuts,
                      std::uint64_t frameIndex) const;
  // The frame without its noise, in layers: bed and paper, the copies' artwork, the knife cuts,
  // then the optics (blur, lighting). It depends only on head and cuts, so a camera whose view
  // has not changed may keep it and add new noise.
  cv::Mat RenderScene(cv::Point2d head, const std::vector<BedSegment>& cuts) const;
  // Adds frame frameIndex's sensor noise to a scene, from a pool drawn once per world.
  void AddNoise(cv::Mat& frame, std::uint64_t frameIndex) const;
  // A quick picture of the same view for frames nobody reads (a live view in passing): a quarter
  // of the resolution, nearest pixels from the artwork drawn once at that resolution, the cuts,
  // lit, enlarged to the frame size; no blur, no noise.
  cv::Mat RenderPreview(cv::Point2d head, const std::vector<BedSegment>& cuts) const;
  // The same into *frame, reusing its pixels when it already has the frame's size and type.
  void RenderPreview(cv::Point2d head, const std::vector<BedSegment>& cuts, cv::Mat* frame) const;

  // The artwork raster pixels [x0, x0 + w) x [y0, y0 + h) at the world's raster resolution,
  // assembled from cached tiles.
  cv::Mat ArtworkRegion(int x0, int y0, int w, int h) const;

 private:
  cv::Mat Tile(int tx, int ty) const;
  // One copy's artwork at the preview's resolution (four camera pixels a pixel), drawn on first
  // use.
  cv::Mat PreviewArtwork() const;
  // Writes the raster pixels from (x0, y0) on into out's pixels, out's size.
  void AssembleRegion(int x0, int y0, const cv::Mat& out) const;
  // The bed area the frame shows with the head at head, with a margin of two pixels.
  cv::Rect2d View(cv::Point2d head) const;
  // The knife cuts over a frame drawn at step camera pixels a pixel.
  void DrawCuts(cv::Mat& frame, cv::Point2d head, const std::vector<BedSegment>& cuts,
                int step) const;

  WorldOptions m_opts;
  Artwork m_art;
  std::vector<CopyPlacement> m_copies;
  cv::Matx33d m_bedFromSheet;
  cv::Point2d m_docOrigin;
  cv::Rect2d m_material;
  int m_rasterWidth = 0;
  int m_rasterHeight = 0;
  cv::Mat m_gain;   // lighting, 255 = full brightness
  cv::Mat m_previewGain;  // the lighting at the preview's resolution
  cv::Mat m_bed;    // a frame of bare bed, copied under every scene
  cv::Mat m_noise;  // CV_16SC3 sensor noise, one frame's rows plus the pool's

  mutable std::mutex m_cacheMutex;
  mutable std::map<std::pair<int, int>, cv::Mat> m_tiles;
  mutable std::deque<std::pair<int, int>> m_tileOrder;
  mutable cv::Mat m_previewArt;
};

cv::Point2d Apply(const cv::Matx33d& m, cv::Point2d p);

// small (8-bit, 3 channels) enlarged factor times each way, every pixel a factor x factor block:
// the nearest-pixel resize to that size, without its per-pixel lookups. out is reused when it
// already has the size and type.
void ReplicatePixels(const cv::Mat& small, int factor, cv::Mat* out);

}  // namespace kx
