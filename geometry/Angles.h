// Angle functions and the two- and three-point calibration mappings.
// Threads: reentrant.
#pragma once

#include <opencv2/core/types.hpp>

namespace kx {

// Cosine of the angle pt1-pt0-pt2 at vertex pt0; 0 when an edge has zero length.
double CalcAngle(const cv::Point* pt1, const cv::Point* pt2, const cv::Point* pt0);

// The cosine when pt0 lies below pt1 in image rows (pt0.y > pt1.y), else pi minus the cosine.
double CalcAngle360(const cv::Point* pt1, const cv::Point* pt2, const cv::Point* pt0);

// Direction of the line (x1, y1)->(x2, y2) in radians: 0 for coincident points, +-pi/2 for
// vertical lines, pi for a line pointing left, otherwise atan(dy/dx) (quadrant not resolved).
double CalcAngle2Pt(double x1, double y1, double x2, double y2);
double CalcAngle2Pt(cv::Point p1, cv::Point p2);

// Calibration tables: pair j is (src[j], dst[j]).
using CalPoints = cv::Point[3];

// Maps (x, y) through the similarity of the first two calibration pairs. 0 on success, -1 when
// the pairs are degenerate (outputs untouched).
int CalcTwoCalPoint(double x, double y, double* outX, double* outY, const CalPoints& src,
                    const CalPoints& dst);

// Maps (x, y) through the affine transform of the three calibration pairs. 0 on success, -1 when
// degenerate; outX is written as soon as the x row is solved, so a failure of the y row leaves
// outX set and outY untouched.
int CalcPoint(double x, double y, double* outX, double* outY, const CalPoints& src,
              const CalPoints& dst);

}  // namespace kx
