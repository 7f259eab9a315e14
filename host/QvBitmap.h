// The host's bitmap: pixels, their size in document units, resampling and mapping to pixels.
// Threads: reentrant.
#pragma once

#include "common/BitmapInfo.h"
#include "common/WinTypes.h"

// A bitmap of the host. Pixels are 24-bit BGR. Its real size is in document units; once it has a
// document object, that object places it with its lower left corner in the document.
class CQvBitmap {
 public:
  virtual ~CQvBitmap() = default;

  // Real size in document units.
  virtual double GetRealWidth() const = 0;
  virtual double GetRealHeight() const = 0;
  // Creates the bitmap's document object (not yet in the document's object set: DSAddObject adds
  // it). layer and flags are ignored, select is kept for the host's own use. Returns the new
  // handle and also stores it in *handle when handle is not null; 0 when the bitmap has no pixels.
  virtual uint64 CreateObject(int layer, bool select, int flags, uint64* handle) = 0;
  // Set the real size in document units; values not above 0 are refused (no change).
  virtual void SetRealWidth(double width) = 0;
  virtual void SetRealHeight(double height) = 0;

  // Takes the pixels of a 24-bit (or 32-bit, alpha dropped) uncompressed DIB: rows padded to four
  // bytes, bottom row first when biHeight > 0 and top row first when biHeight < 0. The real size
  // becomes one document unit per 100 pixels until set. False (bitmap unchanged) for any other
  // format, a zero size or null arguments.
  virtual bool Create(const BITMAPINFOHEADER* header, const BYTE* bits) = 0;
  // Current pixel size (after the latest Resample).
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Resamples to exactly w x h pixels, always from the pixels given to Create, so repeated calls
  // do not blur. mode 0 nearest, 1 bilinear, anything else (6 in particular) area averaging when
  // shrinking and bicubic when enlarging. flag is accepted and ignored. False (no change) for a
  // size not above 0 or a bitmap without pixels.
  virtual bool Resample(int w, int h, int mode, int flag) = 0;
  // *bits = a malloc'ed copy of the current pixels, BGR, top row first, no row padding,
  // Width()*Height()*3 bytes; the caller frees it with free. Nonzero on success; 0 (and *bits
  // null) when there are no pixels or bits is null.
  virtual int CopyDataBits(BYTE** bits) const = 0;
  // Maps a point of the object's untransformed frame (the document frame for a bitmap object that
  // was never transformed; see translate_point for a transformed one) to the pixel column *px and
  // row *py of the current pixel size, rows counted from the top, truncated toward zero. The
  // object's left edge maps to column 0, its right edge to Width(); its top edge to row 0, its
  // bottom edge to Height(). clamp true limits the result to the pixels of the bitmap.
  virtual void MapRealToBitmap(double x, double y, int* px, int* py, bool clamp) const = 0;
};

// A new empty bitmap from the installed host, owned by the host's document; null without a host.
CQvBitmap* NewQvBitmap();
