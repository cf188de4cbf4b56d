// A job's state for tests of the engine and the job driver: a fresh program
// folder, a recording observer and a stop request the test can set.
#pragma once

#include "base/StopRequest.h"
#include "engine/JobState.h"
#include "support/RecordingObserver.h"
#include "support/TestSupport.h"

namespace vok::test {

struct StateFixture {
    TempDir dir;
    RecordingObserver messages;
    StopRequest stop;
    JobState state{messages, stop};
};

} // namespace vok::test
