// The recording stand-in for the HTML Help control (tests/fixtures/helprecorder) registered as
// the control's server in an HKEY_CLASSES_ROOT of this process's own, for one scope.
#pragma once

#include <windows.h>

#include "fixtures/helprecorder/helprecorder.h"
#include "support/key_override.h"

namespace pinprint::test {

class RecordingHelpControl {
  public:
    RecordingHelpControl();

    bool ok() const { return ok_; }
    // Stops the redirection early (HKEY_CLASSES_ROOT is the real one again).
    void Unregister() { classes_.End(); }
    // What the recorder saw; null before it was first loaded.
    static const RecordedHelp* Recorded();

  private:
    KeyOverride classes_{HKEY_CLASSES_ROOT, L"Software\\PinPrintTests\\HelpControlClasses"};
    bool ok_ = false;
};

}  // namespace pinprint::test
