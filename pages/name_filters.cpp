#include "pages/name_filters.h"

#include <imm.h>

#include <algorithm>

#include "resmodule/resource_ids.h"
#include "rules/name_rules.h"

namespace pinprint {
namespace {

// One set per thread: pages on two threads may find different procedures in their edits (a
// thread's own subclass, another activation context), and a filter runs on the thread that owns
// its edit, so it forwards to what its own thread's page saved. The platform's thread slots hold
// them, not thread_local: MinGW's emulation of thread_local allocates a thread's block at its
// first use and aborts the process when that allocation fails. Each slot's index is stored plus
// one (0: not yet allocated), and is taken at its first use, so that a page works wherever its
// procedure runs, in the plug-in or linked into another program.
enum EditSlot { kUserNameSlot, kJobNameSlot, kPinSlot, kSlotCount };
volatile LONG slotIndexes[kSlotCount] = {};

DWORD SlotIndex(EditSlot slot) {
    LONG stored = slotIndexes[slot];
    if (stored == 0) {
        const DWORD index = TlsAlloc();
        if (index == TLS_OUT_OF_INDEXES) {
            return TLS_OUT_OF_INDEXES;
        }
        stored = static_cast<LONG>(index + 1);
        // Another thread may have taken one first: its index is kept and this one given back.
        const LONG first = InterlockedCompareExchange(&slotIndexes[slot], stored, 0);
        if (first != 0) {
            TlsFree(index);
            stored = first;
        }
    }
    return static_cast<DWORD>(stored - 1);
}

// An index that cannot be had makes the store fail (TlsSetValue refuses TLS_OUT_OF_INDEXES).
bool StoreProc(EditSlot slot, WNDPROC proc) {
    return TlsSetValue(SlotIndex(slot), reinterpret_cast<void*>(proc)) != FALSE;
}

// Only a page that stored its procedures installs filters, so a slot read here was stored.
WNDPROC StoredProc(EditSlot slot) {
    return reinterpret_cast<WNDPROC>(TlsGetValue(SlotIndex(slot)));
}

// An input method's result longer than this could not fit a name edit anyway.
constexpr int kCommittedChars = 128;
constexpr LPARAM kResultFlags =
    GCS_RESULTSTR | GCS_RESULTREADSTR | GCS_RESULTCLAUSE | GCS_RESULTREADCLAUSE;

WNDPROC WindowProcOf(HWND page, int id) {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(GetDlgItem(page, id), GWLP_WNDPROC));
}

void Subclass(HWND page, int id, WNDPROC proc) {
    SetWindowLongPtrW(GetDlgItem(page, id), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
}

LRESULT Forward(WNDPROC previous, HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    return previous != nullptr ? CallWindowProcW(previous, edit, message, wParam, lParam)
                               : DefWindowProcW(edit, message, wParam, lParam);
}

// The full rule follows the page's layout as it is at the keystroke: with the radio pair or
// the swapped note shown the names must survive the trip through the ANSI code page,
// otherwise they must stay within Latin-1.
bool FullRuleAccepts(HWND edit, wchar_t c) {
    const HWND page = GetParent(edit);
    const bool ansiLayout = IsWindowVisible(GetDlgItem(page, IDC_NAMES_AUTO)) ||
                            IsWindowVisible(GetDlgItem(page, IDC_NAME_NOTE_ALT));
    return AcceptsNameCharacter(ansiLayout ? NameCharset::Ansi : NameCharset::Latin1, c);
}

bool ShortRuleAccepts(HWND, wchar_t c) {
    return AcceptsNameCharacter(NameCharset::Any, c);
}

// The input method's result string, at most `chars` characters; its length.
int CommittedText(HWND edit, wchar_t* text, int chars) {
    const HIMC context = ImmGetContext(edit);
    if (context == nullptr) {
        return 0;
    }
    const LONG bytes = ImmGetCompositionStringW(context, GCS_RESULTSTR, text,
                                                static_cast<DWORD>(chars * sizeof(wchar_t)));
    ImmReleaseContext(edit, context);
    return bytes > 0 ? std::min(static_cast<int>(bytes / sizeof(wchar_t)), chars) : 0;
}

LRESULT NameFilter(WNDPROC previous, CharacterRule rule, HWND edit, UINT message, WPARAM wParam,
                   LPARAM lParam) {
    if (message == WM_PASTE) {
        return 0;
    }
    return FilterCharacters(previous, rule, edit, message, wParam, lParam);
}

}  // namespace

LRESULT FilterCharacters(WNDPROC previous, CharacterRule rule, HWND edit, UINT message,
                         WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CHAR:
        case WM_IME_CHAR:
            if (!rule(edit, static_cast<wchar_t>(wParam))) {
                return 0;
            }
            break;
        case WM_IME_COMPOSITION:
            if ((lParam & GCS_RESULTSTR) != 0) {
                // The edit would insert the whole result itself; it gets the accepted characters
                // one by one instead, as if typed, and never the result string.
                wchar_t text[kCommittedChars];
                const int length = CommittedText(edit, text, kCommittedChars);
                for (int i = 0; i < length; ++i) {
                    if (rule(edit, text[i])) {
                        Forward(previous, edit, WM_CHAR, text[i], 1);
                    }
                }
                SecureZeroMemory(text, sizeof(text));
                lParam &= ~kResultFlags;
                if (lParam == 0) {
                    return 0;  // nothing of the composition is left for the edit to show
                }
            }
            break;
        default:
            break;
    }
    return Forward(previous, edit, message, wParam, lParam);
}

WNDPROC SavedPinProc() {
    return StoredProc(kPinSlot);
}

bool SaveEditProcedures(HWND page) {
    return StoreProc(kUserNameSlot, WindowProcOf(page, IDC_USER_NAME_EDIT)) &&
           StoreProc(kJobNameSlot, WindowProcOf(page, IDC_JOB_NAME_EDIT)) &&
           StoreProc(kPinSlot, WindowProcOf(page, IDC_PIN_EDIT));
}

void FreeEditProcedureSlots() {
    for (volatile LONG& stored : slotIndexes) {
        const LONG index = InterlockedExchange(&stored, 0);
        if (index != 0) {
            TlsFree(static_cast<DWORD>(index - 1));
        }
    }
}

void InstallNameFilters(HWND page, bool shortNames) {
    const int limit = shortNames ? kShortNameLimit : kFullNameLimit;
    SendDlgItemMessageW(page, IDC_USER_NAME_EDIT, EM_LIMITTEXT, limit, 0);
    SendDlgItemMessageW(page, IDC_JOB_NAME_EDIT, EM_LIMITTEXT, limit, 0);
    Subclass(page, IDC_USER_NAME_EDIT,
             shortNames ? ShortUserNameFilterProc : FullUserNameFilterProc);
    Subclass(page, IDC_JOB_NAME_EDIT, shortNames ? ShortJobNameFilterProc : FullJobNameFilterProc);
}

LRESULT CALLBACK FullUserNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    return NameFilter(StoredProc(kUserNameSlot), FullRuleAccepts, edit, message, wParam, lParam);
}

LRESULT CALLBACK FullJobNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    return NameFilter(StoredProc(kJobNameSlot), FullRuleAccepts, edit, message, wParam, lParam);
}

LRESULT CALLBACK ShortUserNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    return NameFilter(StoredProc(kUserNameSlot), ShortRuleAccepts, edit, message, wParam, lParam);
}

LRESULT CALLBACK ShortJobNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    return NameFilter(StoredProc(kJobNameSlot), ShortRuleAccepts, edit, message, wParam, lParam);
}

}  // namespace pinprint
