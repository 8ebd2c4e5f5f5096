// Every language's pinprint.chm as Wine's HTML Help control shows it: the contents list every
// topic under its title in the help file's own language. HTML Help reads the contents in the
// code page of the help file's language, so this also fails when a source was not converted to
// that code page, or the project names the wrong language.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/help_launcher.h"
#include "platform/proc_address.h"
#include "support/languages.h"
#include "support/test_handles.h"
#include "support/test_support.h"

namespace pinprint::test {
namespace {

using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

struct Contents {
    const char* tag;
    std::vector<std::wstring> titles;
};

const Contents kContents[] = {
    {"en",
     {L"The Secure Print page", L"Choosing and using your PIN",
      L"Releasing a held job at the printer", L"User name and job name",
      L"Messages on the Secure Print page", L"For administrators"}},
    {"ja",
     {L"[機密印刷] ページ", L"暗証番号の決め方と使い方", L"保留中のジョブをプリンターで印刷する",
      L"ユーザー名とジョブ名", L"[機密印刷] ページのメッセージ", L"管理者向けの情報"}},
    {"de",
     {L"Die Seite „Geschützter Druck“", L"Die PIN wählen und verwenden",
      L"Einen zurückgehaltenen Auftrag am Drucker freigeben", L"Benutzername und Auftragsname",
      L"Meldungen der Seite „Geschützter Druck“", L"Für Administratoren"}},
    {"fr",
     {L"La page Impression sécurisée", L"Choisir et utiliser votre code PIN",
      L"Libérer un travail retenu sur l'imprimante", L"Nom d'utilisateur et nom du travail",
      L"Messages de la page Impression sécurisée", L"Pour les administrateurs"}},
};

BOOL CALLBACK FindTree(HWND window, LPARAM found) {
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (wcscmp(name, WC_TREEVIEWW) != 0) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

std::vector<std::wstring> TopLevelItems(HWND tree) {
    std::vector<std::wstring> items;
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    for (; item != nullptr;
         item = reinterpret_cast<HTREEITEM>(
             SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
        wchar_t text[256] = {};
        TVITEMW query = {};
        query.mask = TVIF_TEXT;
        query.hItem = item;
        query.pszText = text;
        query.cchTextMax = 256;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query));
        items.push_back(text);
    }
    return items;
}

TEST(HelpFiles, EveryLanguageShowsItsTopicsInItsOwnLanguage) {
    const UniqueModule control(LoadLibraryW(L"hhctrl.ocx"));
    ASSERT_TRUE(control);
    const auto htmlHelp = ProcAddress<HtmlHelpFn>(control.get(), "HtmlHelpW");
    ASSERT_NE(htmlHelp, nullptr);
    for (const ModuleLanguage& language : kModuleLanguages) {
        SCOPED_TRACE(language.tag);
        const std::wstring path = LanguageHelpPath(language);
        const HWND window = htmlHelp(GetDesktopWindow(), path.c_str(), kHelpDisplayTopic, 0);
        ASSERT_NE(window, nullptr) << "HTML Help does not open the file";
        PumpMessages();
        HWND tree = nullptr;
        EnumChildWindows(window, FindTree, reinterpret_cast<LPARAM>(&tree));
        ASSERT_NE(tree, nullptr);
        const auto expected =
            std::find_if(std::begin(kContents), std::end(kContents),
                         [&](const Contents& c) { return c.tag == std::string(language.tag); });
        ASSERT_NE(expected, std::end(kContents));
        EXPECT_EQ(TopLevelItems(tree), expected->titles);
        htmlHelp(nullptr, nullptr, kHelpCloseAll, 0);
    }
}

}  // namespace
}  // namespace pinprint::test
