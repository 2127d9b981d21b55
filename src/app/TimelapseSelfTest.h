#pragma once

#include <memory>

namespace vx {

class Recorder;
class Settings;

// "--selftest": records about three seconds of time-lapse at four frames a
// second through the same recorder the menu uses, prints the outcome and ends
// the process (status 2 when the recorder never reports).
void runTimelapseSelfTest(const std::shared_ptr<Settings>& settings,
                          std::shared_ptr<Recorder>& testRecorder);

}  // namespace vx
