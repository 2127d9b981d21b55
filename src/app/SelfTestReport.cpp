#include "app/SelfTestReport.h"

#include "platform/Services.h"

namespace vx {

void SelfTestReport::result(const std::string& prefix, const std::string& text,
                            const std::optional<std::filesystem::path>& file) {
    line(prefix + text + " | " + (file ? file->string() : "no-file"));
    auto& dispatch = *platform::services().dispatch;
    dispatch.postAfter(kExitDelay, [&dispatch] { dispatch.exitProcess(0); });
}

void SelfTestReport::line(const std::string& text) {
    platform::services().stdErr->write(text + "\n");
}

}  // namespace vx
