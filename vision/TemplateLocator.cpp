// Finding a mark's reference area in camera frames by normalised cross-correlation.
#include "vision/TemplateLocator.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "common/Frame.h"
#include "common/Units.h"
#include "vision/PeakFit.h"

namespace kx {

bool MatchAccepted(double score) { return score > kMatchThreshold; }

cv::Rect SearchWindow(const BOUNDS& jobBounds, double scale) {
  int ws = TruncInt((jobBounds.maxX - jobBounds.minX) / kDocPerCutter / scale);
  int hs = TruncInt((jobBounds.maxY - jobBounds.minY) / kDocPerCutter / scale);
  ws = ws < kFrameWidth ? Even(ws) : kFrameWidth;
  hs = hs < kFrameHeight ? Even(hs) : kFrameHeight;
  // The halves are integer halves; the subtraction happens in doubles as the original did.
  double x0 = kFrameCentreX - static_cast<double>(Half(ws));
  double y0 = kFrameCentreY - static_cast<double>(Half(hs));
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  return cv::Rect(TruncInt(x0), TruncInt(y0), ws, hs);
}

namespace {

// The normalised correlation coefficient of one template against the search windows of several
// frames, computed through the discrete Fourier transform. The template's spectrum and
// statistics are computed once and serve every frame; each frame's colour planes are correlated
// in the frequency domain and summed there, so one inverse transform gives the whole numerator.
// The template is centred on its mean before the transform, which keeps the numerator free of the
// large terms that cancel when it is subtracted afterwards. The normalisation is the library's own
// formula on exact integer window sums, so flat windows and rounding at +-1 behave alike.
class Correlator {
 public:
  Correlator(const cv::Mat& templ, cv::Size window)
      : m_templ(templ.size()),
        m_window(window),
        m_result(window.width - templ.cols + 1, window.height - templ.rows + 1),
        m_dft(cv::getOptimalDFTSize(window.width), cv::getOptimalDFTSize(window.height)) {
    cv::Scalar mean;
    cv::Scalar sdv;
    cv::meanStdDev(templ, mean, sdv);
    m_mean = mean;
    m_invArea = 1.0 / (static_cast<double>(templ.rows) * templ.cols);
    const double var = sdv[0] * sdv[0] + sdv[1] * sdv[1] + sdv[2] * sdv[2];
    m_flat = var < DBL_EPSILON;
    m_norm = std::sqrt(var) / std::sqrt(m_invArea);
    if (m_flat) return;
    cv::Mat planes[kFrameChannels];
    cv::split(templ, planes);
    for (int k = 0; k < kFrameChannels; ++k) {
      cv::Mat padded(m_dft, CV_32F, cv::Scalar::all(0));
      planes[k].convertTo(padded(cv::Rect({0, 0}, m_templ)), CV_32F, 1.0, -mean[k]);
      cv::dft(padded, m_spectrum[k], 0, m_templ.height);
    }
  }

  // The best score and its top-left position in the window of frame (8-bit BGR); with refined,
  // also that position to a fraction of a pixel.
  void Best(const cv::Mat& window, double* score, cv::Point* where, cv::Point2d* refined) const {
    cv::Mat result(m_result, CV_32F);
    if (m_flat) {
      // A template without contrast matches everywhere equally well.
      *score = 1.0;
      *where = cv::Point(0, 0);
      if (refined) *refined = cv::Point2d(0, 0);
      return;
    }
    // One plane and one product serve the three colours in turn: few large allocations.
    cv::Mat plane;
    cv::Mat padded(m_dft, CV_32F);
    const bool fills = m_window == m_dft;
    cv::Mat sum;
    cv::Mat product;
    for (int k = 0; k < kFrameChannels; ++k) {
      cv::extractChannel(window, plane, k);
      if (!fills) padded.setTo(cv::Scalar::all(0));
      plane.convertTo(padded(cv::Rect({0, 0}, m_window)), CV_32F);
      cv::dft(padded, padded, 0, m_window.height);
      cv::mulSpectrums(padded, m_spectrum[k], k == 0 ? sum : product, 0, true);
      if (k > 0) sum += product;
    }
    cv::Mat numerator;
    cv::dft(sum, numerator, cv::DFT_INVERSE | cv::DFT_SCALE | cv::DFT_REAL_OUTPUT, m_result.height);

    // Sums and sums of squares of each colour over the template-sized box at every position,
    // exact integers: column sums over the box's rows slide down, box sums slide across.
    const int cols = m_window.width * kFrameChannels;
    const int w = m_templ.width * kFrameChannels;
    const int h = m_templ.height;
    std::vector<std::int32_t> colSum(static_cast<std::size_t>(cols), 0);
    std::vector<std::int32_t> colSq(static_cast<std::size_t>(cols), 0);
    auto addRow = [&](int row, int sign) {
      const uchar* p = window.ptr<uchar>(row);
      for (int c = 0; c < cols; ++c) {
        colSum[c] += sign * p[c];
        colSq[c] += sign * p[c] * p[c];
      }
    };
    for (int row = 0; row < h; ++row) addRow(row, 1);
    for (int y = 0; y < m_result.height; ++y) {
      if (y > 0) {
        addRow(y - 1, -1);
        addRow(y + h - 1, 1);
      }
      std::int64_t boxSum[kFrameChannels] = {};
      std::int64_t boxSq[kFrameChannels] = {};
      for (int c = 0; c < w; ++c) {
        boxSum[c % kFrameChannels] += colSum[c];
        boxSq[c % kFrameChannels] += colSq[c];
      }
      const float* num = numerator.ptr<float>(y);
      float* out = result.ptr<float>(y);
      for (int x = 0; x < m_result.width; ++x) {
        if (x > 0) {
          const int left = (x - 1) * kFrameChannels;
          for (int k = 0; k < kFrameChannels; ++k) {
            boxSum[k] += colSum[left + w + k] - colSum[left + k];
            boxSq[k] += colSq[left + w + k] - colSq[left + k];
          }
        }
        double windowMean2 = 0;
        double windowSum2 = 0;
        for (int k = 0; k < kFrameChannels; ++k) {
          const double t = static_cast<double>(boxSum[k]);
          windowMean2 += t * t;
          windowSum2 += static_cast<double>(boxSq[k]);
        }
        windowMean2 *= m_invArea;
        double r = num[x];
        const double t = std::sqrt(std::max(windowSum2 - windowMean2, 0.0)) * m_norm;
        if (std::fabs(r) < t)
          r /= t;
        else if (std::fabs(r) < t * 1.125)
          r = r > 0 ? 1 : -1;
        else
          r = 0;
        out[x] = static_cast<float>(r);
      }
    }
    cv::minMaxLoc(result, nullptr, score, nullptr, where);
    if (refined) *refined = RefinePeak(result, *where);
  }

 private:
  cv::Size m_templ;
  cv::Size m_window;
  cv::Size m_result;
  cv::Size m_dft;
  cv::Scalar m_mean;
  double m_invArea = 0;
  double m_norm = 0;
  bool m_flat = false;
  cv::Mat m_spectrum[kFrameChannels];
};

}  // namespace

MarkMatch MatchMark(const cv::Mat (&frames)[kMatchFrames], const cv::Mat& templ,
                    const cv::Rect& window, double scale, bool subPixel) {
  MarkMatch m;
  const cv::Rect frameRect(0, 0, kFrameWidth, kFrameHeight);
  if (templ.empty() || window.width <= 0 || window.height <= 0 || (window & frameRect) != window ||
      templ.cols > window.width || templ.rows > window.height)
    return m;

  const Correlator correlator(templ, window.size());
  double scores[kMatchFrames] = {};
  cv::Point best[kMatchFrames];
  cv::Point2d refined[kMatchFrames];
  // The frames are independent: they are correlated side by side.
  cv::parallel_for_(cv::Range(0, kMatchFrames), [&](const cv::Range& range) {
    for (int k = range.start; k < range.end; ++k)
      correlator.Best(frames[k](window), &scores[k], &best[k], subPixel ? &refined[k] : nullptr);
  });
  double sumScore = 0.0;
  int sumX = 0;
  int sumY = 0;
  for (int k = 0; k < kMatchFrames; ++k) {
    sumScore += scores[k];
    sumX += best[k].x;
    sumY += best[k].y;
  }
  m.score = sumScore / kMatchFrames;
  m.best = cv::Point(sumX / kMatchFrames + window.x, sumY / kMatchFrames + window.y);
  cv::Point2d sumRefined(0, 0);
  for (const cv::Point2d& r : refined) sumRefined += r;
  m.exact = subPixel ? sumRefined / kMatchFrames + cv::Point2d(window.tl()) : cv::Point2d(m.best);
  if (MatchAccepted(m.score)) {
    m.found = true;
    const int w = templ.cols;
    const int h = templ.rows;
    if (subPixel) {
      // The camera looks at the centre of the frame's centre pixel. A reference position names a
      // corner of the reference bitmap's pixels (its pixel x spans x to x + 1 pixel sizes), and
      // the matched position names the centre of the template's top-left pixel: the reference
      // point lies w/2 - 1/2 pixels right of it and h/2 - 1/2 below.
      m.offset.x = (m.exact.x + Half(w) - 0.5 - Half(kFrameWidth)) * scale;
      m.offset.y = (Half(kFrameHeight) - (Half(h) - 0.5) - m.exact.y) * scale;
      m.x = std::lround(m.offset.x);
      m.y = std::lround(m.offset.y);
    } else {
      m.x = -Trunc((Half(kFrameWidth) - Half(w) - m.best.x) * scale);
      m.y = Trunc((Half(kFrameHeight) - Half(h) - m.best.y) * scale);
    }
  }
  return m;
}

cv::Mat WarpedTemplate(const cv::Mat& templ, const cv::Matx22d& linear) {
  if (templ.empty()) return templ.clone();
  const cv::Vec2d pivot(Half(templ.cols) - 0.5, Half(templ.rows) - 0.5);
  const cv::Vec2d shift = pivot - linear * pivot;
  const cv::Matx23d forward(linear(0, 0), linear(0, 1), shift[0], linear(1, 0), linear(1, 1),
                            shift[1]);
  cv::Mat warped;
  cv::warpAffine(templ, warped, forward, templ.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
  return warped;
}

}  // namespace kx
