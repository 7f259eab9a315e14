// The acquire dialog's OK: the montage as a bitmap object of the document and its three marks.
#include <algorithm>
#include <utility>

#include "acquire/KestrixAcquireDialog.h"
#include "common/Frame.h"
#include "host/Database.h"
#include "host/QvBitmap.h"
#include "host/Translation.h"

namespace {

// Reverses the order of the rows of a pixel array in place.
void FlipRows(BYTE* bits, int rows, std::size_t stride) {
  for (int top = 0, bottom = rows - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(bits + static_cast<std::size_t>(top) * stride,
                     bits + static_cast<std::size_t>(top + 1) * stride,
                     bits + static_cast<std::size_t>(bottom) * stride);
}

}  // namespace

void CKestrixAcquireDialog::OnOK() {
  if (!m_pMontageBits) return;
  char name[256] = {};
  TString("(*v*)Camera Image", name, sizeof name);
  const uint64 step = UNOpenStep(name, 0);

  // The header is handed over top row first; the rows are turned to match it, so that the
  // document shows the material the right way up.
  BITMAPINFOHEADER header = m_bmiMontage;
  const int rows = header.biHeight;
  const std::size_t stride = static_cast<std::size_t>(header.biWidth) * 3;
  FlipRows(m_pMontageBits, rows, stride);
  header.biHeight = -header.biHeight;

  CQvBitmap* bitmap = NewQvBitmap();
  uint64 handle = 0;
  const double k = m_dScale * 2.54;
  int Wp = 0, Hp = 0;
  if (bitmap && bitmap->Create(&header, m_pMontageBits)) {
    Wp = bitmap->Width();
    Hp = bitmap->Height();
    double height = Hp * k / 1000;
    double width = Wp * k / 1000;
    bitmap->SetRealHeight(height);
    bitmap->SetRealWidth(width);
    bitmap->CreateObject(0, true, 0, &handle);
  }
  FlipRows(m_pMontageBits, rows, stride);
  if (handle == 0) {
    UNCloseStep(step);
    TMessageBox(this,
                "The document could not take the montage as a bitmap object; nothing was added.",
                "Reference image", MB_OK | MB_ICONWARNING);
    return;
  }
  DSAddObject(handle);
  DBInvalidateBounds(handle);
  DBValidateBounds(handle);
  InvalidateObject(handle, 1);
  UNCloseStep(step);
  m_hImage = handle;

  BOUNDS b{};
  DBGetObjectBounds(handle, &b);
  const double fw = Wp * k > kx::kFrameWidth * k ? 0.6 : 0.2;
  const double fh = Hp * k > kx::kFrameHeight * k ? 0.6 : 0.2;
  const double w = fw * kx::kFrameWidth * k / 1000;
  const double h = fh * kx::kFrameHeight * k / 1000;
  const NewWorldPt centres[3] = {{b.minX + w / 2, b.minY + h / 2},
                                 {b.minX + w / 2, b.maxY - h / 2},
                                 {b.maxX - w / 2, b.minY + h / 2}};
  for (const NewWorldPt& centre : centres) {
    const uint64 mark = CreateVarnoxRegMark(centre, w, h);
    if (mark == 0) continue;
    m_Marks.push_back(mark);
    DBDeselectAll();
    DBSelect(mark);
    DBNotifySelectionChanged();
    InvalidateObject(mark, 1);
  }
  EndDialog(IDOK);
}
