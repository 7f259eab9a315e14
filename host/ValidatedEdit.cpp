// The host's numeric edit: integer or decimal entry with a minimum, refusing what it cannot take.
#include "host/ValidatedEdit.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/MessageQueue.h"

void CValidatedEdit::SetIntegerMode(int unit) {
  m_integer = true;
  m_unit = unit;
}

void CValidatedEdit::SetDecimalMode(int unit) {
  m_integer = false;
  m_unit = unit;
}

void CValidatedEdit::SetSpinMode(bool on, double step, bool wrap) {
  m_spin = on;
  m_step = step;
  m_wrap = wrap;
}

void CValidatedEdit::SetMinRange(double minimum) {
  m_hasMinimum = true;
  m_minimum = minimum;
}

void CValidatedEdit::GetSettings(const CValidatedEdit& other) {
  m_integer = other.m_integer;
  m_unit = other.m_unit;
  m_spin = other.m_spin;
  m_step = other.m_step;
  m_wrap = other.m_wrap;
  m_hasMinimum = other.m_hasMinimum;
  m_minimum = other.m_minimum;
}

std::string CValidatedEdit::Format(double value) const {
  char text[64];
  if (m_integer)
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  else
    std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

bool CValidatedEdit::Accepts(const std::string& text, double* value) const {
  const char* begin = text.c_str();
  while (*begin == ' ' || *begin == '\t') ++begin;
  if (*begin == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const double v =
      m_integer ? static_cast<double>(std::strtol(begin, &end, 10)) : std::strtod(begin, &end);
  if (errno != 0 || end == begin || !std::isfinite(v)) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return false;
  if (m_hasMinimum && v < m_minimum) return false;
  *value = v;
  return true;
}

bool CValidatedEdit::SetValue(const CValue& value, BOOL notify, BOOL /*redraw*/) {
  const double v = m_integer ? std::trunc(value.Value()) : value.Value();
  if (m_hasMinimum && v < m_minimum) return false;
  m_value = v;
  m_hasValue = true;
  SetWindowText(Format(v));
  if (notify && GetParent())
    ::PostMessage(GetParent()->GetSafeHwnd(), WM_COMMAND,
                  MAKEWPARAM(static_cast<unsigned>(GetDlgCtrlID()), EN_CHANGE),
                  reinterpret_cast<LPARAM>(GetSafeHwnd()));
  return true;
}

bool CValidatedEdit::Spin(int count) {
  if (!m_spin) return false;
  return SetValue(CValue(m_value + count * m_step, m_unit), TRUE, TRUE);
}

BOOL CValidatedEdit::OnChildNotify(UINT message, WPARAM wParam, LPARAM, LRESULT*) {
  if (message != WM_COMMAND || HIWORD(wParam) != EN_CHANGE) return FALSE;
  double v = 0.0;
  const std::string text = GetWindowText();
  if (Accepts(text, &v)) {
    m_value = v;
    m_hasValue = true;
  } else if (m_hasValue && text != Format(m_value)) {
    SetWindowText(Format(m_value));  // refused: back to the last valid value
  }
  return FALSE;  // the parent still hears of the change
}
