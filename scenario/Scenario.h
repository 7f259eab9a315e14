// A complete simulated setting for a run: virtual clock, embedded host, machine and the job.
// Threads: bound to one thread; one scenario at a time per process.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/TM.h"
#include "embedded/EmbeddedHost.h"
#include "host/ObjectList.h"
#include "platform/Clock.h"
#include "sim/JobDescription.h"
#include "sim/SimMachine.h"

namespace kx {

// The job of a world as objects of a host document. The job list holds the three marks first,
// then the cut paths; the image object is the reference bitmap object.
struct JobInDocument {
  ObjList jobList;
  uint64 imageObject = 0;
  std::vector<uint64> marks;
  std::vector<uint64> paths;
};
// The document segments of one of the artwork's cut paths, in artwork units: an arc, or the lines
// between its points (closed paths of more than two points back to the first).
std::vector<PathSegment> SegmentsOf(const CutPath& path);

JobInDocument BuildJobDocument(const JobDescription& job, Document& doc);

// The job a document holds (a loaded job file, an acquired reference): the first bitmap object as
// the image object, the first three registration marks and then every cut path as the job list.
// False with *error naming what is missing (no bitmap, fewer than three marks); *job is then
// unchanged.
bool JobFromDocument(Document& doc, JobInDocument* job, std::string* error);

// Owns, in this order, a virtual clock (installed), the embedded host (installed, settings in
// configFolder), the simulated machine (installed as driver and camera) and the job document.
// Everything is uninstalled again when it is destroyed. One at a time per process.
class Scenario {
 public:
  // editJob, when given, changes the generated job before it becomes the document.
  Scenario(const WorldOptions& world, const std::filesystem::path& configFolder,
           const std::function<void(JobDescription&)>& editJob = nullptr);
  ~Scenario();
  Scenario(const Scenario&) = delete;
  Scenario& operator=(const Scenario&) = delete;

  VirtualClock& Clock() { return m_clock; }
  EmbeddedHost& Host() { return *m_host; }
  SimMachine& Machine() { return *m_machine; }
  const World& GetWorld() const { return m_machine->GetWorld(); }
  const JobDescription& Job() const { return m_job; }
  const JobInDocument& Doc() const { return m_doc; }

  // Stores what a calibration of this world's camera would have stored ("Scale", "X OffSet",
  // "Y OffSet" of "Kestrix Setup") and the cutter's port.
  void StoreCalibration();

  // Empties the document: no job, for a user who makes the job (the acquire dialog).
  void ClearDocument();
  // Takes the job from what the document holds now (a loaded job file, an acquired reference):
  // the first bitmap object as the image object, the first three registration marks and then the
  // paths as the job list. Where its points lie on the bed is found from its cut paths, which
  // must be this world's artwork paths in order (an affine fit). False with *error naming what
  // does not fit; the scenario is then unchanged.
  bool AdoptDocument(std::string* error);
  // Where document point doc of copy `copy`'s job truly lies on the bed, cutter units.
  cv::Point2d BedFromDoc(int copy, cv::Point2d doc) const;

  // Document position of mark i's centre, and the head position that centres the camera on mark
  // i of copy `copy` (ground truth).
  cv::Point2d MarkCentreDoc(int mark) const;
  cv::Point2d HeadOverMark(int copy, int mark) const;

 private:
  VirtualClock m_clock;
  ScopedClock m_installClock;
  std::unique_ptr<EmbeddedHost> m_host;
  std::unique_ptr<SimMachine> m_machine;
  JobDescription m_job;
  JobInDocument m_doc;
  // Artwork (cutter units) from document point, when the job is not the world's own.
  std::optional<TM> m_artFromDoc;
};

}  // namespace kx
