// A window drawn to an image: the way to look at a dialog without a display.
#include "platform/Render.h"

#include <mutex>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "common/Log.h"
#include "platform/WindowTable.h"

namespace kx {

namespace {

const cv::Scalar kFace(240, 240, 240);
const cv::Scalar kWhite(255, 255, 255);
const cv::Scalar kShadow(160, 160, 160);
const cv::Scalar kDark(64, 64, 64);
const cv::Scalar kText(0, 0, 0);
const cv::Scalar kGreyText(150, 150, 150);
const cv::Scalar kCaption(140, 90, 40);
const cv::Scalar kAccent(215, 120, 0);
constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;
constexpr double kScale = 0.42;

std::mutex g_filterMutex;
DisplayTextFilter g_filter;

// The text as shown (through the host's filter), reduced to ASCII: Hershey fonts draw no more.
std::string Printable(const std::string& raw) {
  const std::string text = DisplayText(raw);
  std::string out;
  for (unsigned char ch : text) {
    if (ch >= 0x80 && ch < 0xC0) continue;  // continuation bytes of one character
    out += ch < 0x80 ? static_cast<char>(ch) : '?';
  }
  return out;
}

void Text(cv::Mat& img, const std::string& text, cv::Point origin, const cv::Scalar& colour) {
  cv::putText(img, Printable(text), origin, kFont, kScale, colour, 1, cv::LINE_AA);
}

cv::Size TextSize(const std::string& text) {
  int baseline = 0;
  return cv::getTextSize(Printable(text), kFont, kScale, 1, &baseline);
}

// Text vertically centred in r, left-aligned at x or centred when x < 0.
void TextIn(cv::Mat& img, const std::string& text, const cv::Rect& r, int x,
            const cv::Scalar& colour) {
  const cv::Size size = TextSize(text);
  const int left = x < 0 ? r.x + (r.width - size.width) / 2 : x;
  Text(img, text, cv::Point(left, r.y + (r.height + size.height) / 2), colour);
}

void Bevel(cv::Mat& img, const cv::Rect& r, bool raised) {
  const cv::Scalar& light = raised ? kWhite : kShadow;
  const cv::Scalar& dark = raised ? kDark : kWhite;
  const cv::Point tl(r.x, r.y), tr(r.x + r.width - 1, r.y), bl(r.x, r.y + r.height - 1),
      br(r.x + r.width - 1, r.y + r.height - 1);
  cv::line(img, tl, tr, light);
  cv::line(img, tl, bl, light);
  cv::line(img, bl, br, dark);
  cv::line(img, tr, br, dark);
}

void DrawPicture(cv::Mat& img, const WindowRecord& r, const cv::Rect& box) {
  if (r.surface) {
    std::lock_guard<std::mutex> lock(r.surface->mutex);
    const cv::Mat& pixels = r.surface->pixels;
    const cv::Rect area =
        cv::Rect(box.x, box.y, pixels.cols, pixels.rows) & cv::Rect(0, 0, img.cols, img.rows);
    if (area.area() > 0) {
      pixels(cv::Rect(area.x - box.x, area.y - box.y, area.width, area.height)).copyTo(img(area));
    }
  }
  Bevel(img, box, false);
}

void DrawImageButton(cv::Mat& img, const WindowRecord& r, const cv::Rect& box) {
  cv::rectangle(img, box, kFace, cv::FILLED);
  Bevel(img, box, true);
  if (r.image.empty()) {  // an image button given no image shows its caption
    TextIn(img, r.text, box, -1, r.enabled ? kText : kGreyText);
    return;
  }
  const cv::Point at(box.x + (box.width - r.image.cols) / 2,
                     box.y + (box.height - r.image.rows) / 2);
  const cv::Vec3b mask(static_cast<uchar>((r.mask >> 16) & 0xFF),
                       static_cast<uchar>((r.mask >> 8) & 0xFF), static_cast<uchar>(r.mask & 0xFF));
  for (int y = 0; y < r.image.rows; ++y) {
    for (int x = 0; x < r.image.cols; ++x) {
      const cv::Point p(at.x + x, at.y + y);
      if (!box.contains(p) || p.x >= img.cols || p.y >= img.rows) continue;
      cv::Vec3b px = r.image.at<cv::Vec3b>(y, x);
      if (r.mask != CLR_NONE && px == mask) continue;
      if (!r.enabled) {
        const uchar grey = static_cast<uchar>(160 + (px[0] + px[1] + px[2]) / 12);
        px = cv::Vec3b(grey, grey, grey);
      }
      img.at<cv::Vec3b>(p) = px;
    }
  }
}

void DrawControl(cv::Mat& img, const WindowRecord& r, const cv::Rect& box) {
  const cv::Scalar& ink = r.enabled ? kText : kGreyText;
  switch (r.kind) {
    case ControlKind::Static:
      TextIn(img, r.text, cv::Rect(box.x, box.y, box.width, std::min(box.height, 20)), box.x, ink);
      break;
    case ControlKind::Picture:
      DrawPicture(img, r, box);
      break;
    case ControlKind::Button:
      cv::rectangle(img, box, kFace, cv::FILLED);
      Bevel(img, box, true);
      if (r.style & kDefault) cv::rectangle(img, box, kDark, 1);
      TextIn(img, r.text, box, -1, ink);
      break;
    case ControlKind::BitmapButton:
      DrawImageButton(img, r, box);
      break;
    case ControlKind::Check: {
      const cv::Rect mark(box.x, box.y + (box.height - 13) / 2, 13, 13);
      cv::rectangle(img, mark, r.enabled ? kWhite : kFace, cv::FILLED);
      Bevel(img, mark, false);
      if (r.check) {
        cv::line(img, {mark.x + 3, mark.y + 6}, {mark.x + 5, mark.y + 9}, kText, 2);
        cv::line(img, {mark.x + 5, mark.y + 9}, {mark.x + 10, mark.y + 3}, kText, 2);
      }
      TextIn(img, r.text, box, box.x + 18, ink);
      break;
    }
    case ControlKind::Radio: {
      const cv::Point centre(box.x + 6, box.y + box.height / 2);
      cv::circle(img, centre, 6, r.enabled ? kWhite : kFace, cv::FILLED, cv::LINE_AA);
      cv::circle(img, centre, 6, kShadow, 1, cv::LINE_AA);
      if (r.check) cv::circle(img, centre, 3, kText, cv::FILLED, cv::LINE_AA);
      TextIn(img, r.text, box, box.x + 18, ink);
      break;
    }
    case ControlKind::Edit:
      cv::rectangle(img, box, r.enabled ? kWhite : kFace, cv::FILLED);
      Bevel(img, box, false);
      TextIn(img, r.text, box, box.x + 4, ink);
      break;
    case ControlKind::Slider: {
      const int y = box.y + box.height / 2;
      cv::line(img, {box.x + 6, y}, {box.x + box.width - 7, y}, kShadow, 3);
      const int span = std::max(1, r.rangeMax - r.rangeMin);
      const int x = box.x + 6 + (box.width - 13) * (r.pos - r.rangeMin) / span;
      const cv::Rect thumb(x - 5, box.y + 2, 11, std::max(4, box.height - 4));
      cv::rectangle(img, thumb, r.enabled ? kAccent : kShadow, cv::FILLED);
      Bevel(img, thumb, true);
      break;
    }
    case ControlKind::ComboBox: {
      const cv::Rect field(box.x, box.y, box.width, std::min(box.height, 22));
      cv::rectangle(img, field, r.enabled ? kWhite : kFace, cv::FILLED);
      Bevel(img, field, false);
      if (r.curSel >= 0 && r.curSel < static_cast<int>(r.items.size())) {
        TextIn(img, r.items[static_cast<std::size_t>(r.curSel)].first, field, field.x + 4, ink);
      }
      const cv::Rect arrow(field.x + field.width - 18, field.y + 2, 16, field.height - 4);
      cv::rectangle(img, arrow, kFace, cv::FILLED);
      Bevel(img, arrow, true);
      const cv::Point tip(arrow.x + 8, arrow.y + arrow.height / 2 + 3);
      const std::vector<cv::Point> tri{{tip.x - 4, tip.y - 5}, {tip.x + 4, tip.y - 5}, tip};
      cv::fillConvexPoly(img, tri, ink, cv::LINE_AA);
      break;
    }
    case ControlKind::GroupBox: {
      const cv::Rect frame(box.x, box.y + 7, box.width, std::max(1, box.height - 7));
      cv::rectangle(img, frame, kShadow, 1);
      const cv::Size size = TextSize(r.text);
      cv::rectangle(img, cv::Rect(box.x + 6, box.y, size.width + 6, 14), kFace, cv::FILLED);
      Text(img, r.text, {box.x + 9, box.y + 12}, ink);
      break;
    }
    case ControlKind::Tab:
      cv::rectangle(img, box, r.check ? kFace : cv::Scalar(225, 225, 225), cv::FILLED);
      Bevel(img, box, true);
      if (r.check)
        cv::line(img, {box.x + 1, box.y + box.height - 1},
                 {box.x + box.width - 2, box.y + box.height - 1}, kFace);
      TextIn(img, r.text, box, -1, ink);
      break;
  }
}

// Draws r with its client area's top-left at origin (image coordinates).
void DrawTree(cv::Mat& img, const WindowRecord& r, cv::Point clientOrigin) {
  if (r.role == WindowRole::Dialog) {
    const cv::Rect client(clientOrigin.x, clientOrigin.y,
                          r.rect.right - r.rect.left - r.insets.left - r.insets.right,
                          r.rect.bottom - r.rect.top - r.insets.top - r.insets.bottom);
    cv::rectangle(img, client, kFace, cv::FILLED);
    for (HWND child : r.children) {
      const WindowRecord* c = FindRecord(child);
      if (!c || !c->visible) continue;
      const cv::Point at(clientOrigin.x + c->rect.left, clientOrigin.y + c->rect.top);
      if (c->role == WindowRole::Dialog) {
        DrawTree(img, *c, at);
      } else {
        const cv::Rect box(at.x, at.y, c->rect.right - c->rect.left, c->rect.bottom - c->rect.top);
        if (box.width > 0 && box.height > 0) DrawControl(img, *c, box);
      }
    }
    return;
  }
  DrawControl(img, r,
              cv::Rect(clientOrigin.x, clientOrigin.y, r.rect.right - r.rect.left,
                       r.rect.bottom - r.rect.top));
}

}  // namespace

void SetDisplayTextFilter(DisplayTextFilter filter) {
  std::lock_guard<std::mutex> lock(g_filterMutex);
  g_filter = std::move(filter);
}

std::string DisplayText(const std::string& raw) {
  std::lock_guard<std::mutex> lock(g_filterMutex);
  return g_filter ? g_filter(raw) : raw;
}

cv::Mat RenderWindow(const CWnd& window) { return RenderWindow(window.m_hWnd); }

cv::Mat RenderWindow(HWND hwnd) {
  std::lock_guard<std::recursive_mutex> lock(WindowMutex());
  const WindowRecord* r = FindRecord(hwnd);
  if (!r) return {};
  const int w = r->rect.right - r->rect.left;
  const int h = r->rect.bottom - r->rect.top;
  if (w <= 0 || h <= 0) return {};
  cv::Mat img(h, w, CV_8UC3, kFace);
  if (r->topLevel) {
    cv::rectangle(img, cv::Rect(0, 0, w, h), kCaption, cv::FILLED);
    Bevel(img, cv::Rect(0, 0, w, h), true);
    Text(img, r->text, {r->insets.left + 6, r->insets.top - 9}, kWhite);
    const RECT box = CloseBox(*r);
    const cv::Rect close(box.left, box.top, box.right - box.left, box.bottom - box.top);
    cv::rectangle(img, close, kFace, cv::FILLED);
    Bevel(img, close, true);
    cv::line(img, {close.x + 5, close.y + 4}, {close.x + 12, close.y + close.height - 5}, kText);
    cv::line(img, {close.x + 12, close.y + 4}, {close.x + 5, close.y + close.height - 5}, kText);
  }
  DrawTree(img, *r, cv::Point(r->insets.left, r->insets.top));
  return img;
}

bool SaveWindowPng(const CWnd& window, const std::string& path) {
  auto report = [](const std::string& message) {
    Log(LogLevel::Error, LogCategory::Window, "SaveWindowPng: " + message);
  };
  const cv::Mat img = RenderWindow(window);
  if (img.empty()) {
    report("the window has nothing to draw");
    return false;
  }
  try {
    if (cv::imwrite(path, img)) return true;
  } catch (const cv::Exception& e) {
    report(e.what());
  }
  report("cannot write " + path);
  return false;
}

}  // namespace kx
