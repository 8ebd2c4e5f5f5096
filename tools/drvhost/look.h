// Another look for the programs of the Wine session: the Light visual style, a high-contrast
// colour scheme, another DPI. Wine reads each when a program starts (the style from
// ThemeManager, the colours and the DPI from Control Panel), so the look is set in the session's
// registry before the program starts and every value is put back once it has ended. Wine 8 has
// no high-contrast flag of its own (SPI_GETHIGHCONTRAST always says off, SPI_SETHIGHCONTRAST
// fails): a scheme is its colours, written where Wine keeps the colours a program sets for the
// session alone, a key that ends with the session. The session's start puts the style and the
// DPI back as well (tests/wine-session.sh), so an interrupted run leaves nothing behind.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "host.h"

namespace drvhost {

struct Look {
    bool lightStyle = false;
    bool highContrast = false;  // yellow text on black, with cyan edges and highlights
    DWORD dpi = 0;              // 0: the session's
    bool any() const { return lightStyle || highContrast || dpi != 0; }
};

// Takes --theme light, --contrast high and --dpi N out of `args`; false (after saying why) for
// a value it does not know.
bool TakeLook(Args& args, Look& look);

// `look` set in the registry of this program's user for one scope, then put back as it was.
class ScopedLook {
  public:
    explicit ScopedLook(const Look& look);
    ~ScopedLook();
    ScopedLook(const ScopedLook&) = delete;
    ScopedLook& operator=(const ScopedLook&) = delete;

  private:
    struct Saved {
        std::wstring key, name;
        DWORD type = 0;
        std::vector<BYTE> data;
        bool existed = false;
    };
    void Set(const wchar_t* key, const wchar_t* name, const std::wstring& text);
    void Set(const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD bytes);
    std::vector<Saved> saved_;
};

// Runs this program again with `args` in `look`, its output where this program's goes; the
// copy's exit code, or 1 when it cannot be started.
int RunSelfInLook(const Look& look, const std::wstring& command, const Args& args);

}  // namespace drvhost
