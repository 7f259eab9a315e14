// The run dialog's grey-level locator, its rotation estimate and image helpers.
#include <cmath>
#include <cstdio>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Log.h"
#include "common/Units.h"
#include "platform/Clock.h"
#include "run/KestrixDialog.h"
#include "vision/ApproachLocator.h"
#include "vision/TemplateLocator.h"

bool CKestrixDialog::FindRegMark2(kx::RoiImage* reference, long* x, long* y) {
  const cv::Size size = reference->Roi().size();
  cv::Mat templ;
  cv::cvtColor(reference->RoiMat(), templ, cv::COLOR_BGR2GRAY);
  kx::RoiImage grey(kx::kFrameWidth, kx::kFrameHeight, CV_8UC1);
  if (m_bRunning == 0) return false;

  double score = 0.0;
  cv::Point at;
  for (;;) {
    grey.ResetRoi();
    cv::cvtColor(m_FrameBuffer.Snapshot(), grey.Pixels(), cv::COLOR_BGR2GRAY);
    BOUNDS bounds{};
    DBGetMemberBounds(m_JobList, &bounds);
    // The window is the job's size in cutter units taken as pixels: no division by "Scale".
    const cv::Rect window = kx::SearchWindow(bounds, 1.0);
    const double started = static_cast<double>(GetTickCount() / 1000);
    const kx::GreyMatch match = kx::MatchGrey(grey.Pixels(), templ, window);
    const double ended = static_cast<double>(GetTickCount() / 1000);
    char line[64];
    std::snprintf(line, sizeof line, "Match takes %6.0f seconds.", ended - started);
    kx::Log(kx::LogLevel::Warning, kx::LogCategory::Vision, line);
    score = match.score;
    at = match.at;
    std::snprintf(line, sizeof line, "grey match %.3f at (%d, %d)", score, at.x, at.y);
    kx::Log(kx::LogLevel::Debug, kx::LogCategory::Vision, line);
    grey.ResetRoi();

    const kx::ApproachStep step = kx::NextApproach(score, at, size, m_dScale);
    if (!step.approach) break;
    score = step.score;
    MoveToOffset(step.dx, step.dy);
    // Stop ends the approach: no further look or move.
    if (m_bRunning == 0) return false;
    if (step.last) break;
  }
  if (!(score > kx::kApproachUpperScore)) return false;

  grey.SetRoi(cv::Rect(at, size));
  m_dRotation = FindRotationAngle(&grey, score);
  grey.ResetRoi();
  char status[64];
  std::snprintf(status, sizeof status, "Rotation angle: %g",
                m_dRotation * 180 / (4 * std::atan(1.0)));
  m_strStatus = status;
  // The text reaches the status control, so the exchange that follows keeps it.
  if (GetSafeHwnd()) SetDlgItemText(IDC_KX_STATUS, m_strStatus);
  UpdateData(TRUE);

  const cv::Point move = kx::CentringMove(at, size, m_dScale);
  MoveToOffset(move.x, move.y);
  *x = m_ptHead.x;
  *y = m_ptHead.y;
  return true;
}

double CKestrixDialog::FindRotationAngle(kx::RoiImage* frame, double score) {
  kx::RotationTemplates slots;
  for (std::size_t k = 0; k < m_pRotTmpl.size(); ++k)
    if (m_pRotTmpl[k]) slots[k] = m_pRotTmpl[k]->RoiMat();
  return kx::EstimateRotation(frame->RoiMat(), slots, score);
}

void CKestrixDialog::SetupRotTmpl() {
  for (auto& slot : m_pRotTmpl) slot.reset();
  if (!m_pRegImage) return;
  kx::RotationTemplates made = kx::MakeRotationTemplates(*m_pRegImage);
  for (std::size_t k = 0; k < made.size(); ++k)
    if (!made[k].empty()) m_pRotTmpl[k] = std::make_unique<kx::RoiImage>(std::move(made[k]));
}

void CKestrixDialog::RemoveNoise(kx::RoiImage* image) { kx::RemoveNoise(*image); }

void CKestrixDialog::HighlightContour(const std::vector<cv::Point>& points, kx::RoiImage* image,
                                      cv::Scalar colour) {
  cv::Mat area = image->RoiMat();
  kx::HighlightContour(points, area, colour);
}
