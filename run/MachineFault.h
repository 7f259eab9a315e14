// The messages with which a run ends when the machine itself fails: the head does not move, does
// not come to rest, its position readings are too noisy to centre on, or the camera delivers no
// frames.
// Threads: reentrant (constants).
#pragma once

#include "host/HeadWait.h"

namespace kx {

// Shown with the caption "(*v*)Kestrix error" and an OK button; the run then ends where the head
// stands. %d is the limit in seconds that ran out.
inline constexpr char kHeadNotMoving[] =
    "(*v*)The cutter head did not move. Check the cutter; the run stops.";
// kHeadNotResting, the message of a wait on the head that ran out, is every window's
// (host/HeadWait.h).
inline constexpr char kHeadReadingsNoisy[] =
    "(*v*)The cutter head's position readings vary by up to %d units, so the camera cannot be "
    "centred on a mark. Check the cutter; the run stops.";
inline constexpr char kNoCameraFrames[] =
    "(*v*)The camera delivers no frames (none for %d s). Check the camera; the run stops.";

// All of them, for whoever watches a run (the scripted user, the main job) and must tell a
// machine fault from the other messages.
inline constexpr const char* kMachineFaultTexts[] = {kHeadNotMoving, kHeadNotResting,
                                                     kHeadReadingsNoisy, kNoCameraFrames};

}  // namespace kx
