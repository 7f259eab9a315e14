// Dialog templates and bitmaps looked up by number among the host's resources.
// Threads: thread-safe lookups; install the resources before windows are created.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/WinDefs.h"

namespace kx {

// What a template's control is; decides its behaviour, its messages and how it is drawn.
enum class ControlKind {
  Static,        // text
  Picture,       // owns a pixel surface of its client size
  Button,        // push button
  BitmapButton,  // push button showing an image from the resources
  Radio,         // radio button; a group runs from a control with kGroup to the next one
  Check,         // check box
  Edit,
  Slider,
  ComboBox,  // drop-down list
  GroupBox,  // frame with a caption, no behaviour
  Tab,       // a property sheet's page tab; checked when its page is active
};

// Style flags of a template control.
inline constexpr UINT kGroup = 0x1;     // starts a group of radio buttons
inline constexpr UINT kDisabled = 0x2;  // created disabled
inline constexpr UINT kHidden = 0x4;    // created hidden
inline constexpr UINT kDefault = 0x8;   // the default push button (drawn with a heavier frame)

struct ControlTemplate {
  int id = 0;
  ControlKind kind = ControlKind::Static;
  RECT rect;  // in the dialog's client pixels
  std::string caption;
  UINT style = 0;
};

struct DialogTemplate {
  std::string caption;
  LONG width = 0;  // client size in pixels
  LONG height = 0;
  bool visible = false;  // a modeless dialog shows itself on creation
  std::vector<ControlTemplate> controls;
};

// The host's resources as the framework looks them up. Implemented by the host.
class IResources {
 public:
  virtual ~IResources() = default;
  // The template with this number, or null. The pointer stays valid while the resources are
  // installed.
  virtual const DialogTemplate* FindDialogTemplate(UINT id) const = 0;
  // The bitmap with this number as 8-bit BGR pixels, or an empty matrix.
  virtual cv::Mat FindBitmap(UINT id) const = 0;
};

// Installs the resources every lookup goes to; null removes them. The caller keeps ownership.
void InstallResources(IResources* resources);
// The installed resources, or null.
IResources* Resources();

}  // namespace kx
