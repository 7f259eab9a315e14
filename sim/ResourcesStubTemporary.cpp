// Placeholder templates until the setup page and acquire dialog layouts are written.
#include "sim/Resources.h"

namespace kx {
DialogTemplate MakeSetupPageTemplate() { return DialogTemplate{"Kestrix", 400, 300, false, {}}; }
DialogTemplate MakeAcquireDialogTemplate() { return DialogTemplate{"Acquire", 400, 300, false, {}}; }
cv::Mat MakeArrowBitmap(UINT) { return cv::Mat(); }
}  // namespace kx
