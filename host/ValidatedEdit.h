// The host's numeric edit: integer or decimal entry with a minimum, refusing what it cannot take.
// Threads: as for CWnd: member calls are thread-safe, messages are bound to the window's thread.
#pragma once

#include <string>

#include "platform/Controls.h"

// A number with the code of the unit it is given in. The edit shows the number alone; unit codes
// are kept for the host's own display (0 plain number, 1 millimetres, 2 copies, 3 cutter units).
class CValue {
 public:
  CValue(double value = 0.0, int unit = 0) : m_value(value), m_unit(unit) {}
  double Value() const { return m_value; }
  int Unit() const { return m_unit; }

 private:
  double m_value;
  int m_unit;
};

// An edit control that keeps a valid number. Whatever the user types is checked when the edit
// reports the change: text that is not a number of the edit's mode, or a value below the minimum,
// is refused and the edit shows its last valid value again, so the window reading the edit never
// sees a refused value.
class CValidatedEdit : public CEdit {
 public:
  // Integer entry (decimals are refused); unit is the unit code values are shown in.
  void SetIntegerMode(int unit);
  // Decimal entry; unit as above.
  void SetDecimalMode(int unit);
  // Up/down stepping by step; wrap is kept for the host's spin control and has no effect here.
  void SetSpinMode(bool on, double step, bool wrap);
  // Values below minimum are refused from now on.
  void SetMinRange(double minimum);
  // Takes over mode, unit, spin and minimum of another edit (not its value).
  void GetSettings(const CValidatedEdit& other);
  // Shows value when the edit can take it (notify: the parent hears of the change; redraw is
  // accepted for the host's display). Returns false, changing nothing, for a refused value.
  virtual bool SetValue(const CValue& value, BOOL notify, BOOL redraw);
  // Steps the value by count spin steps (a refused result changes nothing).
  bool Spin(int count);

  double Value() const { return m_value; }
  bool IsIntegerMode() const { return m_integer; }
  double MinRange() const { return m_minimum; }
  bool HasMinRange() const { return m_hasMinimum; }

  // Text as this edit would show value.
  std::string Format(double value) const;
  // Parses text in this edit's mode; false when it is not a number the edit accepts.
  bool Accepts(const std::string& text, double* value) const;

  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  bool m_integer = false;
  int m_unit = 0;
  bool m_spin = false;
  double m_step = 1.0;
  bool m_wrap = false;
  bool m_hasMinimum = false;
  double m_minimum = 0.0;
  double m_value = 0.0;
  bool m_hasValue = false;
};
