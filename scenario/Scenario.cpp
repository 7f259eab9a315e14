// A complete simulated setting for a run: virtual clock, embedded host, machine and the job.
#include "scenario/Scenario.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "common/Units.h"
#include "host/Database.h"
#include "host/Settings.h"

namespace kx {

namespace {
// For every mark the module copies the job's reference bitmap twice (the host's copy of its
// pixels and the module's own image): tens of megabytes each on a sheet-sized reference. The C
// library serves blocks that large from fresh mappings and returns them on free, so every copy
// would fault its pages in again and the run would spend half its time in the kernel. A process
// that runs scenarios keeps what it frees for the next copy instead.
void KeepFreedMemory() {
#if defined(__GLIBC__)
  static std::once_flag once;
  std::call_once(once, [] {
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
  });
#endif
}
}  // namespace

std::vector<PathSegment> SegmentsOf(const CutPath& path) {
  std::vector<PathSegment> segments;
  if (path.isArc) {
    segments.push_back(PathSegment::Arc({path.centre.x, path.centre.y}, path.radius, path.startDeg,
                                        path.sweepDeg));
    return segments;
  }
  for (std::size_t i = 1; i < path.points.size(); ++i)
    segments.push_back(PathSegment::Line({path.points[i - 1].x, path.points[i - 1].y},
                                         {path.points[i].x, path.points[i].y}));
  if (path.closed && path.points.size() > 2)
    segments.push_back(PathSegment::Line({path.points.back().x, path.points.back().y},
                                         {path.points.front().x, path.points.front().y}));
  return segments;
}

JobInDocument BuildJobDocument(const JobDescription& job, Document& doc) {
  JobInDocument out;
  out.imageObject = doc.AddBitmapObject(job.reference, job.referenceOrigin.x, job.referenceOrigin.y,
                                        job.referenceWidth, job.referenceHeight);
  out.jobList = DBCreateEmptyList();
  for (const cv::Rect2d& m : job.marks) {
    const uint64 h = doc.AddRegMark(BOUNDS{m.x, m.x + m.width, m.y, m.y + m.height, 0});
    out.marks.push_back(h);
    DBAddToList(out.jobList, h);
  }
  for (const CutPath& path : job.cutPaths) {
    std::vector<PathSegment> segments = SegmentsOf(path);
    if (segments.empty()) continue;
    const uint64 h = doc.AddPath(std::move(segments));
    out.paths.push_back(h);
    DBAddToList(out.jobList, h);
  }
  return out;
}

Scenario::Scenario(const WorldOptions& world, const std::filesystem::path& configFolder,
                   const std::function<void(JobDescription&)>& editJob)
    : m_installClock(&m_clock) {
  KeepFreedMemory();
  EmbeddedHostOptions hostOptions;
  hostOptions.configFolder = configFolder;
  m_host = std::make_unique<EmbeddedHost>(hostOptions);
  m_host->Install();
  m_machine = std::make_unique<SimMachine>(world);
  m_job = MakeJob(m_machine->GetWorld());
  if (editJob) editJob(m_job);
  m_doc = BuildJobDocument(m_job, m_host->Doc());
}

Scenario::~Scenario() {
  // The machine stops its camera before the host and the clock go.
  m_machine.reset();
  if (m_doc.jobList) m_doc.jobList.reset();
  m_host.reset();
}

void Scenario::StoreCalibration() {
  const CalibratedSetup setup = GetWorld().Calibrated();
  WriteDoubleMorvane("Kestrix Setup", "Scale", setup.scale, 2, 1);
  WriteDoubleMorvane("Kestrix Setup", "X OffSet", setup.xOffset, 2, 1);
  WriteDoubleMorvane("Kestrix Setup", "Y OffSet", setup.yOffset, 2, 1);
  WriteStringDevice("Port Setup", "Port", "USB1");
}

cv::Point2d Scenario::MarkCentreDoc(int mark) const {
  const cv::Rect2d& m = m_job.marks[static_cast<std::size_t>(mark)];
  return {m.x + m.width / 2, m.y + m.height / 2};
}

cv::Point2d Scenario::HeadOverMark(int copy, int mark) const {
  return GetWorld().HeadForCameraAt(BedFromDoc(copy, MarkCentreDoc(mark)));
}

cv::Point2d Scenario::BedFromDoc(int copy, cv::Point2d doc) const {
  if (!m_artFromDoc) return GetWorld().BedFromDoc(copy, doc);
  const NewWorldPt art = m_artFromDoc->Map(NewWorldPt{doc.x, doc.y});
  return GetWorld().BedFromArtwork(copy, {art.x, art.y});
}

void Scenario::ClearDocument() {
  m_doc = JobInDocument{};
  m_host->Doc().Reset({}, {});
  m_artFromDoc.reset();
}

namespace {

// The first point of a path as drawn.
cv::Point2d StartOf(const CutPath& p) {
  if (!p.isArc) return p.points.empty() ? cv::Point2d() : p.points.front();
  const double a = p.startDeg * CV_PI / 180.0;
  return p.centre + p.radius * cv::Point2d(std::cos(a), std::sin(a));
}

}  // namespace

bool JobFromDocument(Document& doc, JobInDocument* job, std::string* error) {
  JobInDocument found;
  found.jobList = DBCreateEmptyList();
  for (const uint64 h : doc.Objects()) {
    const DocObject* o = doc.Find(h);
    if (!o) continue;
    if (o->kind == ObjectKind::Bitmap && found.imageObject == 0) found.imageObject = h;
    if (o->kind == ObjectKind::RegMark && found.marks.size() < 3) found.marks.push_back(h);
    if (o->kind == ObjectKind::Path) found.paths.push_back(h);
  }
  if (found.imageObject == 0) {
    if (error) *error = "the document has no bitmap object to register against";
    return false;
  }
  if (found.marks.size() < 3) {
    if (error)
      *error = "the document has " + std::to_string(found.marks.size()) +
               " registration mark(s); a run needs three";
    return false;
  }
  for (const uint64 h : found.marks) DBAddToList(found.jobList, h);
  for (const uint64 h : found.paths) DBAddToList(found.jobList, h);
  *job = std::move(found);
  return true;
}

bool Scenario::AdoptDocument(std::string* error) {
  Document& doc = m_host->Doc();
  JobInDocument job;
  if (!JobFromDocument(doc, &job, error)) return false;
  const std::vector<uint64>& paths = job.paths;
  const auto& artPaths = GetWorld().Art().CutPaths();
  const auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (paths.size() != artPaths.size() || paths.size() < 3)
    return fail("the document has " + std::to_string(paths.size()) +
                " cut path(s); the world's "
                "artwork has " +
                std::to_string(artPaths.size()));
  // Least squares: art = A * (doc, 1).
  cv::Mat lhs(static_cast<int>(paths.size()), 3, CV_64F);
  cv::Mat rhs(static_cast<int>(paths.size()), 2, CV_64F);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const DocObject* o = doc.Find(paths[i]);
    const NewWorldPt d = o->segments.empty() ? NewWorldPt{} : o->segments.front().start;
    const cv::Point2d a = StartOf(artPaths[i]);
    const int r = static_cast<int>(i);
    lhs.at<double>(r, 0) = d.x;
    lhs.at<double>(r, 1) = d.y;
    lhs.at<double>(r, 2) = 1.0;
    rhs.at<double>(r, 0) = a.x;
    rhs.at<double>(r, 1) = a.y;
  }
  cv::Mat A;
  if (!cv::solve(lhs, rhs, A, cv::DECOMP_SVD)) return fail("the cut paths give no placement");
  const TM artFromDoc{A.at<double>(0, 0), A.at<double>(0, 1), A.at<double>(1, 0),
                      A.at<double>(1, 1), A.at<double>(2, 0), A.at<double>(2, 1)};
  double worst = 0;
  for (int r = 0; r < lhs.rows; ++r) {
    const NewWorldPt m = artFromDoc.Map({lhs.at<double>(r, 0), lhs.at<double>(r, 1)});
    worst = std::max(worst, std::hypot(m.x - rhs.at<double>(r, 0), m.y - rhs.at<double>(r, 1)));
  }
  // A cutter unit: anything more is not the world's artwork placed by one affine map.
  if (worst > 1.0)
    return fail("the document's cut paths are not this world's artwork (they miss it by " +
                std::to_string(static_cast<int>(worst)) + " cutter units)");

  for (std::size_t i = 0; i < job.marks.size(); ++i) {
    BOUNDS b{};
    doc.GetBounds(job.marks[i], &b);
    m_job.marks[i] = cv::Rect2d(b.minX, b.minY, b.maxX - b.minX, b.maxY - b.minY);
  }
  m_doc = std::move(job);
  m_artFromDoc = artFromDoc;
  return true;
}

}  // namespace kx
