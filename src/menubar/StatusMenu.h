#pragma once

#include "platform/Menu.h"

namespace vx {

class Recorder;
class Settings;

// The status item's whole menu, built afresh from the present situation each
// time it is about to open, so that it never shows a stale setting. Reads the
// settings, the recorder and the desktop (screens, microphones, hot key,
// login entry, version); changes nothing.
namespace StatusMenu {

platform::Menu build(const Settings& settings, const Recorder& recorder, bool countingDown);

}  // namespace StatusMenu

}  // namespace vx
