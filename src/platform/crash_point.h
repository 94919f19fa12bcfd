// Test hook of the crash test (tools/crash_test.cc), and nothing else.
//
// With the environment variable KAVELIN2_CRASH_AT set to "<point>:<records>",
// the station kills itself with SIGKILL, as a power cut would stop it, when
// the current line reaches <point> in an upload whose header announced
// <records> records. The points are named where CrashPoint is called:
//   block          a record was stored, before its ACK
//   eof            an end of file was accepted, before anything is synced
//   durable        the upload is durable (and its append intent), before the ACK
//   ack            the ACK of the end of file went out
//   merge-half     half of the upload is appended to its target
//   merged         the target holds the upload, the pending file is still there
//   pending-gone   the pending file is removed, its intent is still there
// Unset (always, outside the crash test), it costs one getenv.
#pragma once

namespace kavelin2 {

struct Station;

void CrashPoint(const Station& st, const char* point);

// Ends the process at once, with nothing run on the way out.
void KillThisProcess();

}  // namespace kavelin2
