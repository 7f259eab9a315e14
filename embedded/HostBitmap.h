// The embedded host's bitmap: original and resampled pixels, placement and real size.
// Threads: reentrant.
#pragma once

#include <memory>

#include <opencv2/core.hpp>

#include "common/TM.h"
#include "host/QvBitmap.h"

namespace kx {

class Document;

// A CQvBitmap kept as two BGR images: the pixels it was given and the current (resampled) ones.
// Its placement is the lower left corner of its rectangle in document units; the rectangle is
// GetRealWidth() x GetRealHeight().
class HostBitmap : public CQvBitmap, public std::enable_shared_from_this<HostBitmap> {
 public:
  // document: where CreateObject puts the bitmap's object; may be null (CreateObject then fails).
  explicit HostBitmap(Document* document = nullptr) : m_document(document) {}

  double GetRealWidth() const override { return m_width; }
  double GetRealHeight() const override { return m_height; }
  uint64 CreateObject(int layer, bool select, int flags, uint64* handle) override;
  void SetRealWidth(double width) override;
  void SetRealHeight(double height) override;
  bool Create(const BITMAPINFOHEADER* header, const BYTE* bits) override;
  int Width() const override { return m_current.cols; }
  int Height() const override { return m_current.rows; }
  bool Resample(int w, int h, int mode, int flag) override;
  int CopyDataBits(BYTE** bits) const override;
  void MapRealToBitmap(double x, double y, int* px, int* py, bool clamp) const override;

  // Takes a copy of 8-bit BGR pixels as the original (and current) pixels; false for anything else.
  bool SetPixels(const cv::Mat& bgr);
  const cv::Mat& Original() const { return m_original; }
  const cv::Mat& Current() const { return m_current; }
  NewWorldPt Origin() const { return m_origin; }
  void SetOrigin(NewWorldPt origin) { m_origin = origin; }
  void SetDocument(Document* document) { m_document = document; }
  // An independent copy (pixels, size, placement) belonging to the same document.
  std::shared_ptr<HostBitmap> Clone() const;

 private:
  Document* m_document;
  cv::Mat m_original;
  cv::Mat m_current;
  int m_currentMode = -1;  // the mode m_current was resampled with, -1 for the original pixels
  NewWorldPt m_origin;
  double m_width = 0.0;
  double m_height = 0.0;
};

}  // namespace kx
