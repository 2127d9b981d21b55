#pragma once

#include <string_view>

// The names by which a menu item asks the controller for something; the menu
// builder writes them and the controller reads them back, so they live here once.
namespace vx::MenuAction {

inline constexpr std::string_view triggerRecording = "triggerRecording";
inline constexpr std::string_view toggleRealtime = "toggleRealtime";
inline constexpr std::string_view setInterval = "setInterval:";
inline constexpr std::string_view setFPS = "setFPS:";
inline constexpr std::string_view setRealtimeFPS = "setRealtimeFPS:";
inline constexpr std::string_view setScale = "setScale:";
inline constexpr std::string_view setDisplay = "setDisplay:";
inline constexpr std::string_view setCountdown = "setCountdown:";
inline constexpr std::string_view setMicrophone = "setMicrophone:";
inline constexpr std::string_view fixMicrophone = "fixMicrophone";
inline constexpr std::string_view toggleCursor = "toggleCursor";
inline constexpr std::string_view toggleClicks = "toggleClicks";
inline constexpr std::string_view toggleSystemAudio = "toggleSystemAudio";
inline constexpr std::string_view toggleHotkey = "toggleHotkey";
inline constexpr std::string_view openFolder = "openFolder";
inline constexpr std::string_view chooseFolder = "chooseFolder";
inline constexpr std::string_view toggleLogin = "toggleLogin";
inline constexpr std::string_view quit = "quit";

}  // namespace vx::MenuAction
