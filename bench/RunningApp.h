#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CommandOutput.h"

namespace vx::bench {

namespace fs = std::filesystem;

using fixtures::within;
using namespace std::chrono_literals;

// The screen scripts/bench.sh gives the benchmark (BENCH_SCREEN=WxH), 1920x1080 without.
struct BenchScreen {
    int width = 1920;
    int height = 1080;
    std::string size() const { return std::to_string(width) + "x" + std::to_string(height); }

    static BenchScreen named() {
        BenchScreen s;
        if (const char* size = std::getenv("BENCH_SCREEN")) {
            std::sscanf(size, "%dx%d", &s.width, &s.height);
        }
        return s;
    }
};

// In a forked child: becomes the program `arguments` name (looked up in PATH).
[[noreturn]] inline void execute(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

// A child process with its standard output and error in a file, ended when this ends.
class Child {
  public:
    Child(const std::vector<std::string>& arguments, const fs::path& output) {
        pid_ = ::fork();
        if (pid_ == 0) {
            std::FILE* out = std::fopen(output.c_str(), "w");
            if (out != nullptr) {
                ::dup2(fileno(out), 1);
                ::dup2(fileno(out), 2);
            }
            execute(arguments);
        }
    }
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    // Asks it to end (SIGTERM, or SIGINT as from Ctrl-C) and waits for it.
    void stop(int signal = SIGTERM) {
        if (pid_ > 0) {
            ::kill(pid_, signal);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
};

inline std::string fileText(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// CPU time (user + system, every thread) a running process has used so far.
inline double cpuSeconds(pid_t pid) {
    const std::string stat = fileText("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int k = 3; k <= 15 && fields >> field; ++k) {
        if (k == 14 || k == 15) {  // utime, stime
            ticks += std::stol(field);
        }
    }
    return double(ticks) / double(::sysconf(_SC_CLK_TCK));
}

inline double residentMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

// The busy desktop drawing on the DISPLAY's screen, from its first picture on.
class BusyDesktop {
  public:
    explicit BusyDesktop(const fs::path& work)
        : output_(work / "busy-desktop.out"), child_({BUSY_DESKTOP}, output_) {
        ready_ = within(10s, [&] { return fileText(output_).find("ready") != std::string::npos; });
    }
    bool ready() const { return ready_; }
    // For holding it still (SIGSTOP) and letting it go on (SIGCONT).
    pid_t pid() const { return child_.pid(); }

  private:
    fs::path output_;
    Child child_;
    bool ready_ = false;
};

// The ventilux program as a user runs it, in the private desktop the benchmark
// runs in (HOME and the XDG folders are the benchmark's own), with a stand-in
// notification server so that its "Saved" messages can be counted.
class RunningApp {
  public:
    // `settings`: lines of settings.ini, such as "captureInterval=double:0.25".
    RunningApp(const fs::path& work, const std::vector<std::string>& settings)
        : binary_(std::getenv("VENTILUX_BINARY") ? std::getenv("VENTILUX_BINARY") : "ventilux"),
          events_(work / "events") {
        writeSettings(settings);
        notifications_ = std::make_unique<Child>(
            std::vector<std::string>{"/usr/bin/python3", INTEGRATION_DIR "/tray-host.py",
                                     events_.string(), "--no-tray"},
            work / "tray-host.out");
        if (!within(10s, [&] { return countEvents("\"ready\"") > 0; })) {
            error_ = "the notification server did not start";
            return;
        }
        app_ = std::make_unique<Child>(std::vector<std::string>{binary_}, work / "ventilux.out");
        if (!within(15s, [&] { return busNameOwned(); })) {
            error_ = "ventilux did not take its name on the session bus";
        }
    }

    // Empty when the program runs and answers.
    const std::string& error() const { return error_; }
    pid_t pid() const { return app_ ? app_->pid() : -1; }

    // Replaces settings.ini; the running program reads the change at its next start.
    static void writeSettings(const std::vector<std::string>& settings) {
        const fs::path folder = fs::path(std::getenv("XDG_CONFIG_HOME")) / "ventilux";
        fs::create_directories(folder);
        std::ofstream file(folder / "settings.ini.new");
        file << "[settings]\n";
        for (const std::string& line : settings) {
            file << line << "\n";
        }
        file.close();
        fs::rename(folder / "settings.ini.new", folder / "settings.ini");
    }

    // `--start` or `--stop`, as from a keyboard shortcut; true when it was taken.
    bool control(const std::string& request) const {
        return std::system((binary_ + " " + request + " 2>/dev/null").c_str()) == 0;
    }
    bool recording() const {
        return fixtures::commandOutput(
                   "gdbus call --session -d lab.quimbry.Ventilux -o "
                   "/lab/quimbry/Ventilux -m org.freedesktop.DBus.Properties."
                   "Get lab.quimbry.Ventilux1 Recording 2>/dev/null")
                   .find("<true>") != std::string::npos;
    }
    // How many notifications so far hold `text` (e.g. "\"body\": \"Saved").
    int countEvents(const std::string& text) const {
        const std::string events = fileText(events_);
        int count = 0;
        for (size_t at = events.find(text); at != std::string::npos;
             at = events.find(text, at + 1)) {
            ++count;
        }
        return count;
    }
    int savedCount() const { return countEvents("\"body\": \"Saved"); }

    // One recording from --start to its "Saved" message, `seconds` long.
    bool record(double seconds) const {
        const int saved = savedCount();
        if (!control("--start") || !within(10s, [&] { return recording(); })) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        return control("--stop") && within(60s, [&] { return savedCount() > saved; });
    }

  private:
    bool busNameOwned() const {
        return fixtures::commandOutput(
                   "gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus -m "
                   "org.freedesktop.DBus.NameHasOwner lab.quimbry.Ventilux 2>/dev/null")
                   .find("true") != std::string::npos;
    }

    std::string binary_;
    fs::path events_;
    std::unique_ptr<Child> notifications_;
    std::unique_ptr<Child> app_;
    std::string error_;
};

}  // namespace vx::bench
