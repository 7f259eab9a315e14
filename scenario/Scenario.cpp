// A complete simulated setting for a run: virtual clock, embedded host, machine and the job.
#include "scenario/Scenario.h"

#include "common/Units.h"
#include "host/Database.h"
#include "host/Settings.h"

namespace kx {

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
    std::vector<PathSegment> segments;
    if (path.isArc) {
      segments.push_back(PathSegment::Arc({path.centre.x, path.centre.y}, path.radius,
                                          path.startDeg, path.sweepDeg));
    } else {
      for (std::size_t i = 1; i < path.points.size(); ++i)
        segments.push_back(PathSegment::Line({path.points[i - 1].x, path.points[i - 1].y},
                                             {path.points[i].x, path.points[i].y}));
      if (path.closed && path.points.size() > 2)
        segments.push_back(PathSegment::Line({path.points.back().x, path.points.back().y},
                                             {path.points.front().x, path.points.front().y}));
    }
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
  return GetWorld().HeadForCameraAt(GetWorld().BedFromDoc(copy, MarkCentreDoc(mark)));
}

}  // namespace kx
