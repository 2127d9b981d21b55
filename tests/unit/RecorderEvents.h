#pragma once

#include <string>
#include <vector>

#include "platform/Services.h"

#include "capture/Recorder.h"

namespace vx::testing {

// Everything a recorder tells its caller, in order, as short texts:
// "state true", "message <text> | <file or no-file>", "completion <name>".
// Each entry also checks that it arrived on the main queue.
class RecorderEvents {
  public:
    void attach(Recorder& recorder) {
        recorder.onStateChange = [this](bool recording) {
            add(std::string("state ") + (recording ? "true" : "false"));
        };
        recorder.onMessage = [this](const std::string& text,
                                    const std::optional<std::filesystem::path>& file) {
            add("message " + text + " | " + (file ? file->string() : "no-file"));
        };
    }
    std::function<void()> completion(const std::string& name) {
        return [this, name] { add("completion " + name); };
    }

    std::vector<std::string> seen;
    std::vector<std::string> offMainThread;

  private:
    void add(const std::string& event) {
        seen.push_back(event);
        if (platform::services().dispatch->currentQueueLabel() != "main") {
            offMainThread.push_back(event);
        }
    }
};

}  // namespace vx::testing
