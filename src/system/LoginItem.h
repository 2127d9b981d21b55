#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Starting the application by itself when the user logs in, through an XDG
// autostart entry. The state is the entry file alone: nothing is kept in
// memory or in the settings. Called on the main thread.
namespace vx::LoginItem {

inline constexpr std::string_view label = "lab.quimbry.ventilux.login";

// The autostart entry: <config folder>/autostart/<label>.desktop.
std::filesystem::path entryPath();

// Whether the entry file exists.
bool isEnabled();

// enable() for true; disable() for false, which always succeeds.
bool setEnabled(bool enabled);

// Writes the entry and starts the application now, as the session will at
// every login. False, with a line in the system log, when the entry could not
// be written.
bool enable();
void disable();

// Starts the session tool with `arguments`; what becomes of it is not looked at.
void run(const std::vector<std::string>& arguments);

// The "--enable-login" (true) and "--disable-login" (false) runs: one line on
// standard error, then the process ends.
void runSwitch(bool enable);

}  // namespace vx::LoginItem
