// The microphone list against the headless PulseAudio that with-desktop.sh starts
// (sinks sysout and micfeed, the source virtmic), and against one the test starts,
// freezes and stops. The list changes on the main loop.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "CommandOutput.h"
#include "MainContext.h"
#include "platform/linux/pulse/PulseAudioDevices.h"

namespace vx::platform::linux_ {
namespace {

using fixtures::runUntil;
using Ids = std::vector<std::string>;

Ids ids(const std::vector<AudioInput>& inputs) {
    Ids listed;
    for (const AudioInput& input : inputs) {
        listed.push_back(input.uniqueID);
    }
    return listed;
}

// A module loaded into the test's sound server for as long as this object lives.
class LoadedModule {
  public:
    explicit LoadedModule(const std::string& arguments) {
        const std::string index = fixtures::commandOutput("pactl load-module " + arguments);
        index_ = index.empty() ? -1 : std::stoi(index);
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

bool listedWithin(PulseAudioDevices& devices, double seconds) {
    bool listed = false;
    devices.whenListed([&] { listed = true; });
    return runUntil([&] { return listed; }, seconds);
}

TEST(PulseAudioDevicesTest, MicrophonesComeAndGoWhileItRunsInServerOrderButNoMonitors) {
    PulseAudioDevices devices;
    ASSERT_TRUE(listedWithin(devices, 5));
    EXPECT_EQ(ids(devices.inputs()), Ids{"virtmic"});
    {
        // A second microphone after virtmic, and one more sink whose monitor must not show.
        LoadedModule sink("module-null-sink sink_name=extra");
        LoadedModule headset(R"(module-remap-source master=extra.monitor source_name=headset )"
                             R"("source_properties='device.description=\"USB Headset\"'")");
        ASSERT_TRUE(sink.loaded() && headset.loaded());
        ASSERT_TRUE(runUntil([&] { return devices.inputs().size() == 2; }));
        const std::vector<AudioInput> inputs = devices.inputs();
        EXPECT_EQ(ids(inputs), (Ids{"virtmic", "headset"}));
        EXPECT_FALSE(inputs[0].localizedName.empty());
        EXPECT_EQ(inputs[1].localizedName, "USB Headset");
    }
    EXPECT_TRUE(runUntil([&] { return ids(devices.inputs()) == Ids{"virtmic"}; }));
}

// A sound server the test starts on a socket of its own, and stops.
class OwnServer {
  public:
    explicit OwnServer(const std::filesystem::path& socket) {
        const std::string protocol =
            "module-native-protocol-unix auth-anonymous=1 socket=" + socket.string();
        process_ = g_subprocess_new(
            GSubprocessFlags(G_SUBPROCESS_FLAGS_STDOUT_SILENCE | G_SUBPROCESS_FLAGS_STDERR_SILENCE),
            nullptr, "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
            "--use-pid-file=no", "-L", protocol.c_str(), "-L", "module-null-sink sink_name=out",
            "-L", "module-remap-source master=out.monitor source_name=latemic", nullptr);
    }
    ~OwnServer() {
        send(SIGCONT);
        send(SIGTERM);
        g_subprocess_wait(process_, nullptr, nullptr);
        g_object_unref(process_);
    }
    void send(int signal) { g_subprocess_send_signal(process_, signal); }

  private:
    GSubprocess* process_;
};

TEST(PulseAudioDevicesTest, AServerStartedLaterIsFoundAFrozenOneKeepsTheListAGoneOneEmptiesIt) {
    const std::filesystem::path socket = std::filesystem::path(std::getenv("HOME")) / "own.socket";
    PulseAudioDevices devices("unix:" + socket.string());
    ASSERT_TRUE(listedWithin(devices, 3)) << "no server there holds nobody up";
    EXPECT_TRUE(devices.inputs().empty());
    {
        OwnServer server(socket);
        ASSERT_TRUE(runUntil([&] { return ids(devices.inputs()) == Ids{"latemic"}; }, 20))
            << "the server that came was never found";

        // A frozen server takes connections and never answers, as a hung one does.
        server.send(SIGSTOP);
        PulseAudioDevices newcomer("unix:" + socket.string());
        EXPECT_TRUE(listedWithin(newcomer, 3)) << "a frozen server holds nobody up";
        EXPECT_TRUE(newcomer.inputs().empty());
        EXPECT_EQ(ids(devices.inputs()), Ids{"latemic"}) << "what it last said still stands";
    }
    EXPECT_TRUE(runUntil([&] { return devices.inputs().empty(); }));
}

}  // namespace
}  // namespace vx::platform::linux_
