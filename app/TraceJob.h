// The trace job: the run dialog's cut-path trace of a world's first cut path, pictured and
// reported.
// Threads: bound to one thread; one job at a time per process.
#pragma once

#include <ostream>

#include "app/MainJob.h"

namespace kx {

// Reads the world file (options.worldFile, required), parks the head over the copy's first mark,
// selects the job's reference bitmap object and its first cut path and has the run dialog trace
// the path at a tenth of its size around the head. Writes trace.png (the head's trail over the
// path drawn at a tenth of its size) and trace.json into options.outDir, settings into
// outDir/config, and a summary line on out; problems go to err. Returns kJobDone when every
// point was reached within a cutter unit of the path at a tenth and the head is back at its
// start, kJobUnmet when not, kJobBadInput for an unusable world file or output folder,
// kJobScriptFailed when the scripted user could not do its part.
int RunTraceJob(const MainJobOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kx
