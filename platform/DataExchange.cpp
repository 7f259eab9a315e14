// Data exchange between a dialog's controls and its members, in both directions.
#include "platform/DataExchange.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Log.h"
#include "platform/Controls.h"
#include "platform/Operator.h"
#include "platform/WindowTable.h"

namespace {

bool IsBlank(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return *p == '\0';
}

[[noreturn]] void RejectText(CDataExchange* pDX, const char* prompt) {
  MessageBox(pDX->m_pDlgWnd->m_hWnd, prompt, pDX->m_pDlgWnd->GetWindowText().c_str(),
             MB_OK | MB_ICONEXCLAMATION);
  pDX->Fail();
}

bool ParseInt(const std::string& text, int* value) {
  if (IsBlank(text.c_str())) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno == ERANGE || !IsBlank(end) || v < INT32_MIN || v > INT32_MAX) return false;
  *value = static_cast<int>(v);
  return true;
}

bool ParseDouble(const std::string& text, double* value) {
  if (IsBlank(text.c_str())) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (errno == ERANGE || !IsBlank(end) || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

template <typename Number, typename Parse>
void ExchangeNumber(CDataExchange* pDX, int id, Number& value, Parse parse, const char* prompt,
                    const std::string& shown) {
  kx::ControlView<CWnd> control(pDX->PrepareCtrl(id));
  if (!pDX->m_bSaveAndValidate) {
    control.SetWindowText(shown);
    return;
  }
  Number parsed{};
  if (!parse(control.GetWindowText(), &parsed)) RejectText(pDX, prompt);
  value = parsed;
}

}  // namespace

HWND CDataExchange::PrepareCtrl(int id) {
  CWnd* control = m_pDlgWnd ? m_pDlgWnd->GetDlgItem(id) : nullptr;
  if (!control) {
    kx::Log(kx::LogLevel::Error, kx::LogCategory::Window,
            "data exchange: the dialog \"" + (m_pDlgWnd ? m_pDlgWnd->GetWindowText() : "") +
                "\" has no control " + std::to_string(id));
    Fail();
  }
  return control->m_hWnd;
}

void CDataExchange::Fail() { throw kx::DataExchangeFailure{}; }

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (control.m_hWnd) return;
  HWND hwnd = pDX->PrepareCtrl(id);
  control.Attach(hwnd);
}

void DDX_Text(CDataExchange* pDX, int id, int& value) {
  ExchangeNumber(pDX, id, value, ParseInt, "Please enter an integer.", std::to_string(value));
}

void DDX_Text(CDataExchange* pDX, int id, double& value) {
  ExchangeNumber(pDX, id, value, ParseDouble, "Please enter a number.", Format("%.15g", value));
}

void DDX_Text(CDataExchange* pDX, int id, float& value) {
  auto parseFloat = [](const std::string& text, float* out) {
    double d = 0;
    if (!ParseDouble(text, &d) || std::fabs(d) > FLT_MAX) return false;
    *out = static_cast<float>(d);
    return true;
  };
  ExchangeNumber(pDX, id, value, parseFloat, "Please enter a number.",
                 Format("%.6g", static_cast<double>(value)));
}

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
  kx::ControlView<CWnd> control(pDX->PrepareCtrl(id));
  if (pDX->m_bSaveAndValidate) {
    value = control.GetWindowText();
  } else {
    control.SetWindowText(value);
  }
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
  kx::ControlView<CButton> button(pDX->PrepareCtrl(id));
  if (pDX->m_bSaveAndValidate) {
    value = button.GetCheck();
  } else {
    button.SetCheck(value >= 0 && value <= 2 ? value : 0);
  }
}

void DDX_Radio(CDataExchange* pDX, int id, int& value) {
  HWND first = pDX->PrepareCtrl(id);
  std::lock_guard<std::recursive_mutex> lock(kx::WindowMutex());
  const kx::WindowRecord* dialog = kx::FindRecord(pDX->m_pDlgWnd->m_hWnd);
  const auto& siblings = dialog->children;
  auto it = std::find(siblings.begin(), siblings.end(), first);
  std::vector<kx::WindowRecord*> group;
  for (; it != siblings.end(); ++it) {
    kx::WindowRecord* r = kx::FindRecord(*it);
    if (!r || r->kind != kx::ControlKind::Radio) break;
    if (!group.empty() && (r->style & kx::kGroup)) break;
    group.push_back(r);
  }
  if (group.empty()) {
    kx::Log(kx::LogLevel::Error, kx::LogCategory::Window,
            "data exchange: control " + std::to_string(id) + " is not a radio button");
    pDX->Fail();
  }
  if (pDX->m_bSaveAndValidate) {
    value = -1;
    for (std::size_t i = 0; i < group.size(); ++i) {
      if (group[i]->check) {
        value = static_cast<int>(i);
        break;
      }
    }
  } else {
    for (std::size_t i = 0; i < group.size(); ++i) {
      group[i]->check = static_cast<int>(i) == value ? 1 : 0;
    }
  }
}

void DDX_Slider(CDataExchange* pDX, int id, int& value) {
  kx::ControlView<CSliderCtrl> slider(pDX->PrepareCtrl(id));
  if (pDX->m_bSaveAndValidate) {
    value = slider.GetPos();
  } else {
    slider.SetPos(value);
  }
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index) {
  kx::ControlView<CComboBox> list(pDX->PrepareCtrl(id));
  if (pDX->m_bSaveAndValidate) {
    index = list.GetCurSel();
  } else {
    list.SetCurSel(index);
  }
}
