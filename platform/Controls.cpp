// Controls: static texts and pictures, buttons, edits, sliders and drop-down lists.
#include "platform/Controls.h"

#include <algorithm>
#include <string>

#include "common/Log.h"
#include "platform/Resources.h"
#include "platform/WindowTable.h"

using kx::WindowRecord;
using kx::WithRecord;

namespace {

int ClampPos(const WindowRecord& r, int pos) { return std::clamp(pos, r.rangeMin, r.rangeMax); }

int SetSelection(WindowRecord& r, int index) {
  if (index < 0 || index >= static_cast<int>(r.items.size())) {
    r.curSel = -1;
    return CB_ERR;
  }
  r.curSel = index;
  return index;
}

}  // namespace

// ---- CStatic

HBITMAP CStatic::SetBitmap(HBITMAP bitmap) {
  return WithRecord(
      m_hWnd,
      [bitmap](WindowRecord& r) {
        HBITMAP previous = r.bitmap;
        r.bitmap = bitmap;
        kx::ResetSurface(r);
        return previous;
      },
      HBITMAP{});
}

HBITMAP CStatic::GetBitmap() const {
  return WithRecord(
      m_hWnd, [](WindowRecord& r) { return r.bitmap; }, HBITMAP{});
}

// ---- CButton

int CButton::GetCheck() const {
  return WithRecord(
      m_hWnd, [](WindowRecord& r) { return r.check; }, 0);
}

void CButton::SetCheck(int check) {
  WithRecord(m_hWnd, [check](WindowRecord& r) { r.check = check; });
}

// ---- CBitmapButton

BOOL CBitmapButton::LoadBitmap(UINT id, BOOL resize, COLORREF mask) {
  kx::IResources* resources = kx::Resources();
  cv::Mat image = resources ? resources->FindBitmap(id) : cv::Mat();
  const std::string name = "LoadBitmap: bitmap " + std::to_string(id);
  if (image.empty()) {
    kx::Log(kx::LogLevel::Error, kx::LogCategory::Window, name + " is not among the resources");
    return FALSE;
  }
  if (image.type() != CV_8UC3) {
    kx::Log(kx::LogLevel::Error, kx::LogCategory::Window, name + " is not 8-bit BGR");
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  WindowRecord* r = kx::FindRecord(m_hWnd);
  if (!r) return FALSE;
  r->image = image.clone();
  r->mask = mask;
  if (resize) {
    r->rect.right = r->rect.left + image.cols;
    r->rect.bottom = r->rect.top + image.rows;
  }
  return TRUE;
}

// ---- CSliderCtrl

void CSliderCtrl::SetRange(int min, int max, BOOL) {
  WithRecord(m_hWnd, [min, max](WindowRecord& r) {
    r.rangeMin = std::min(min, max);
    r.rangeMax = std::max(min, max);
    r.pos = ClampPos(r, r.pos);
  });
}

int CSliderCtrl::GetRangeMin() const {
  return WithRecord(
      m_hWnd, [](WindowRecord& r) { return r.rangeMin; }, 0);
}

int CSliderCtrl::GetRangeMax() const {
  return WithRecord(
      m_hWnd, [](WindowRecord& r) { return r.rangeMax; }, 0);
}

void CSliderCtrl::SetPos(int pos) {
  WithRecord(m_hWnd, [pos](WindowRecord& r) { r.pos = ClampPos(r, pos); });
}

int CSliderCtrl::GetPos() const {
  return WithRecord(
      m_hWnd, [](WindowRecord& r) { return r.pos; }, 0);
}

// ---- CComboBox

int CComboBox::AddString(const CString& text) {
  return WithRecord(
      m_hWnd,
      [&text](WindowRecord& r) {
        r.items.emplace_back(text, nullptr);
        return static_cast<int>(r.items.size()) - 1;
      },
      CB_ERR);
}

int CComboBox::GetCount() const {
  return WithRecord(
      m_hWnd, [](WindowRecord& r) { return static_cast<int>(r.items.size()); }, 0);
}

void CComboBox::ResetContent() {
  WithRecord(m_hWnd, [](WindowRecord& r) {
    r.items.clear();
    r.curSel = -1;
  });
}

int CComboBox::GetLBText(int index, CString& text) const {
  return WithRecord(
      m_hWnd,
      [index, &text](WindowRecord& r) {
        if (index < 0 || index >= static_cast<int>(r.items.size())) return CB_ERR;
        text = r.items[static_cast<std::size_t>(index)].first;
        return static_cast<int>(text.size());
      },
      CB_ERR);
}

int CComboBox::SetItemDataPtr(int index, void* data) {
  return WithRecord(
      m_hWnd,
      [index, data](WindowRecord& r) {
        if (index < 0 || index >= static_cast<int>(r.items.size())) return CB_ERR;
        r.items[static_cast<std::size_t>(index)].second = data;
        return 0;
      },
      CB_ERR);
}

void* CComboBox::GetItemDataPtr(int index) const {
  return WithRecord(
      m_hWnd,
      [index](WindowRecord& r) -> void* {
        if (index < 0 || index >= static_cast<int>(r.items.size())) return nullptr;
        return r.items[static_cast<std::size_t>(index)].second;
      },
      static_cast<void*>(nullptr));
}

int CComboBox::SetCurSel(int index) {
  return WithRecord(
      m_hWnd, [index](WindowRecord& r) { return SetSelection(r, index); }, CB_ERR);
}

int CComboBox::GetCurSel() const {
  return WithRecord(
      m_hWnd, [](WindowRecord& r) { return r.curSel; }, CB_ERR);
}
