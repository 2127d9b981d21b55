#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vx {

class Recorder;
class Settings;

// "--selftest-rt": records about six seconds in real time with system audio
// (unless "--mic-only" is among `arguments`) and the first microphone the
// system lists (the recording starts once it has listed them), prints
// the outcome and ends the process. The three settings it changes for the run
// are put back on both ways out.
void runRealtimeSelfTest(const std::shared_ptr<Settings>& settings,
                         std::shared_ptr<Recorder>& testRecorder,
                         const std::vector<std::string>& arguments);

}  // namespace vx
