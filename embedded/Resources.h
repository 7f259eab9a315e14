// The embedded host's resources: the module's dialog templates and the arrow bitmaps.
// Threads: thread-safe once built.
#pragma once

#include <map>

#include "host/ResourceIds.h"
#include "platform/Resources.h"

namespace kx {

// Arrow bitmaps are square, this many pixels a side, so that they sit inside the acquire
// dialog's 40-pixel buttons, which load them without resizing. Odd, so that the arrows have a
// centre pixel to turn about.
inline constexpr int kArrowBitmapSize = 31;
// Background of every arrow bitmap: the light grey the acquire dialog's buttons draw transparent.
inline constexpr COLORREF kArrowMaskColour = 0xC0C0C0;

// The run dialog: live view, reference preview, copy counts and steps, Roll/Sheet, Start/Stop.
DialogTemplate MakeRunDialogTemplate();
// The camera setup page: camera values, Scale and offsets, Calibrate, live view, and the OK and
// Cancel buttons the page hides. Its texts are translation keys; the page translates them.
DialogTemplate MakeSetupPageTemplate();
// The reference acquisition dialog: live and montage views, message line, the 3 x 3 pad of arrow
// buttons (the centre left free), Start, End, OK and Cancel. Plain texts: the dialog translates
// only its message line. End starts enabled, so that End without Start spans from the head
// position the dialog was opened at.
DialogTemplate MakeAcquireDialogTemplate();
// The arrow the acquire dialog shows on the button that grows its grid that way (the IDB_KX_ARROW_*
// bitmaps), as 8-bit BGR of kArrowBitmapSize square on kArrowMaskColour; empty for any other id.
cv::Mat MakeArrowBitmap(UINT id);

// All of the above behind the framework's resource lookup.
class HostResources final : public IResources {
 public:
  HostResources();
  const DialogTemplate* FindDialogTemplate(UINT id) const override;
  cv::Mat FindBitmap(UINT id) const override;

 private:
  std::map<UINT, DialogTemplate> m_templates;
};

}  // namespace kx
