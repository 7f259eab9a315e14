// The embedded host's resources: the module's dialog templates and the arrow bitmaps.
#pragma once

#include <map>

#include "platform/Resources.h"

namespace kx {

// Template numbers and bitmap range the module looks up.
inline constexpr UINT kAcquireDialogTemplate = 2847;
inline constexpr UINT kRunDialogTemplate = 2848;
inline constexpr UINT kSetupPageTemplate = 2858;
inline constexpr UINT kFirstArrowBitmap = 2849;
inline constexpr UINT kLastArrowBitmap = 2856;

// The run dialog: live view, reference preview, copy counts and steps, Roll/Sheet, Start/Stop.
DialogTemplate MakeRunDialogTemplate();
// The camera setup page and the reference acquisition dialog.
DialogTemplate MakeSetupPageTemplate();
DialogTemplate MakeAcquireDialogTemplate();
// Arrow bitmap id (2849 to 2856), drawn on a background of the mask colour; empty for other ids.
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
