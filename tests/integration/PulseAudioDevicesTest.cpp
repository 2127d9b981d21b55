// The microphone list against the headless PulseAudio that with-desktop.sh starts
// (sinks sysout and micfeed, the source virtmic), and against servers that do not answer.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/linux/pulse/PulseAudioDevices.h"

namespace vx::platform::linux_ {
namespace {

std::vector<std::string> ids(const std::vector<AudioInput>& inputs) {
    std::vector<std::string> listed;
    for (const AudioInput& input : inputs) {
        listed.push_back(input.uniqueID);
    }
    return listed;
}

// A module loaded into the test's sound server for as long as this object lives.
class LoadedModule {
  public:
    explicit LoadedModule(const std::string& arguments) {
        if (FILE* pactl = popen(("pactl load-module " + arguments).c_str(), "r")) {
            if (std::fscanf(pactl, "%d", &index_) != 1) {
                index_ = -1;
            }
            pclose(pactl);
        }
    }
    ~LoadedModule() {
        if (index_ >= 0) {
            std::system(("pactl unload-module " + std::to_string(index_)).c_str());
        }
    }
    bool loaded() const { return index_ >= 0; }

  private:
    int index_ = -1;
};

TEST(PulseAudioDevicesTest, ListsMicrophonesInServerOrderButNoMonitors) {
    // A second microphone after virtmic, and one more sink whose monitor must not show.
    LoadedModule sink("module-null-sink sink_name=extra");
    LoadedModule headset(R"(module-remap-source master=extra.monitor source_name=headset )"
                         R"("source_properties='device.description=\"USB Headset\"'")");
    ASSERT_TRUE(sink.loaded() && headset.loaded());

    PulseAudioDevices devices;
    const std::vector<AudioInput> inputs = devices.inputs();
    EXPECT_EQ(ids(inputs), (std::vector<std::string>{"virtmic", "headset"}));
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_FALSE(inputs[0].localizedName.empty());
    EXPECT_EQ(inputs[1].localizedName, "USB Headset");
}

// A socket that takes connections and never says a word, like a hung sound server.
class SilentServer {
  public:
    explicit SilentServer(const std::filesystem::path& path)
        : path_(path), fd_(socket(AF_UNIX, SOCK_STREAM, 0)) {
        std::filesystem::remove(path_);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.native().copy(address.sun_path, sizeof(address.sun_path) - 1);
        listening_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                     listen(fd_, 4) == 0;
    }
    ~SilentServer() {
        close(fd_);
        std::filesystem::remove(path_);
    }
    bool listening() const { return listening_; }

  private:
    std::filesystem::path path_;
    int fd_;
    bool listening_ = false;
};

TEST(PulseAudioDevicesTest, WithoutAnAnsweringServerTheListIsEmptyWithinASecond) {
    const std::filesystem::path home = std::getenv("HOME");  // private to this run
    SilentServer silent(home / "silent.socket");
    ASSERT_TRUE(silent.listening());
    struct Case {
        const char* what;
        std::string server;
    } cases[] = {
        {"no socket at all", "unix:" + (home / "absent.socket").string()},
        {"a server that never answers", "unix:" + (home / "silent.socket").string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PulseAudioDevices devices(c.server);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(devices.inputs().empty());
        // Only a guard against hanging: the deadline itself is one second.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    }
}

}  // namespace
}  // namespace vx::platform::linux_
