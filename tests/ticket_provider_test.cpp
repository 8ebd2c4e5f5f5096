// The PrintTicket provider through the built DLL, obtained and bound as the driver does
// (drvhost's TicketDriver), on Wine's real MSXML 6 and spooler.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "config/driver_options.h"
#include "driver_ticket.h"
#include "support/child_process.h"
#include "support/guarded_array.h"
#include "support/secure_page_fixture.h"
#include "ticket/dom.h"

namespace pinprint::test {
namespace {

using drvhost::CreateDocument;
using drvhost::TicketDriver;
using ticket::ComRef;

constexpr wchar_t kPluginUri[] = L"http://schemas.pinprint.example/2024/printing/securejob";
// printf 2468 | sha256sum
constexpr char kDigest2468[] = "a1fb4e703a9ef1fa4936801721ff285a97ac85330856674412e054892afe6972";
constexpr DWORD kPage = DRVOPT_SECURE_PAGE;

// The root's usual declarations: k for the protected-printing keywords, p for the plug-in's.
const std::wstring kDeclarations =
    L" xmlns:psf=\"http://schemas.microsoft.com/windows/2003/08/printing/printschemaframework\" "
    L"xmlns:psk=\"http://schemas.microsoft.com/windows/2003/08/printing/printschemakeywords\" "
    L"xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    L"xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:k=\"http://schemas.microsoft.com/"
    L"windows/2013/05/printing/printschemakeywordsv11\" xmlns:p=\"" +
    std::wstring(kPluginUri) + L"\"";

std::wstring Ticket(const std::wstring& body, const wchar_t* root = L"PrintTicket",
                    const std::wstring& declarations = kDeclarations) {
    return std::wstring(L"<psf:") + root + declarations + L" version=\"1\">" + body + L"</psf:" +
           root + L">";
}
std::wstring Passcode(const wchar_t* option = L"psk:On") {
    return std::wstring(L"<psf:Feature name=\"k:JobPasscode\"><psf:Option name=\"") + option +
           L"\"/></psf:Feature>";
}
std::wstring Init(const wchar_t* name, const std::wstring& text, const wchar_t* type = L"string",
                  const wchar_t* declarations = L"") {
    return std::wstring(L"<psf:ParameterInit name=\"") + name + L"\"" + declarations +
           L"><psf:Value xsi:type=\"xsd:" + type + L"\">" + text +
           L"</psf:Value></psf:ParameterInit>";
}
std::wstring Pin(const std::wstring& text) {
    return Init(L"k:JobPasscodeString", text);
}
std::wstring Names(const std::wstring& user, const std::wstring& job) {
    return Init(L"p:UserName", user) + Init(L"p:JobName", job);
}

ComRef<IXMLDOMDocument2> Load(const std::wstring& xml) {
    ComRef<IXMLDOMDocument2> document;
    *document.put() = CreateDocument();
    std::wstring reason;
    EXPECT_TRUE(document && drvhost::LoadXml(document.get(), xml, reason)) << reason.size();
    return document;
}
std::wstring Xml(IXMLDOMDocument2* document) {
    ticket::Bstr xml;
    document->get_xml(xml.put());
    return std::wstring(xml.view());
}

// Whether the DOM hands out a default namespace's declaration as an attribute; Wine 8's does not,
// and the provider then refuses a name of its own that only that declaration could resolve.
bool ReadsDefaultDeclarations() {
    ComRef<IXMLDOMDocument2> document = Load(L"<a xmlns=\"urn:x\"/>");
    ComRef<IXMLDOMElement> root;
    ComRef<IXMLDOMNamedNodeMap> map;
    ComRef<IXMLDOMNode> declaration;
    return SUCCEEDED(document->get_documentElement(root.put())) &&
           SUCCEEDED(root->get_attributes(map.put())) &&
           SUCCEEDED(map->get_item(0, declaration.put())) && declaration;
}

class TicketTest : public SecurePageTest {
  protected:
    void SetUp() override {
        SecurePageTest::SetUp();
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_TRUE(printer().SetOptions(kPage));
        std::wstring reason;
        ASSERT_TRUE(driver_.Open(BinPath(L"pinprintui.dll"), printer().handle(), reason));
    }
    void TearDown() override { CoUninitialize(); }

    IPrintOemPrintTicketProvider* provider() { return driver_.provider(); }
    HRESULT ToDevmode(IXMLDOMDocument2* t, PrivateDevmode& dm) {
        return provider()->ConvertPrintTicketToDevMode(t, 0, nullptr, sizeof(dm), &dm);
    }
    HRESULT ToTicket(PrivateDevmode& dm, IXMLDOMDocument2* t) {
        return provider()->ConvertDevModeToPrintTicket(0, nullptr, sizeof(dm), &dm, t);
    }
    // A stored job, secure printing off: the digest of 9999 and two names, or without them.
    static PrivateDevmode Stored(bool withDigest, bool withNames = true) {
        PrivateDevmode dm = SecureDevmode(withDigest ? kDigest9999 : "");
        dm.secureEnabled = 0;
        SetField(dm.userName, 80, withNames ? L"old user" : L"");
        SetField(dm.jobName, 80, withNames ? L"old job" : L"");
        return dm;
    }

    TicketDriver driver_;
};

TEST_F(TicketTest, ThePluginObjectIsTheProviderAndBindsAsTheReferenceSays) {
    IUnknown* fromProvider = nullptr;
    IUnknown* fromUi = nullptr;
    IPrintOemPrintTicketProvider* back = nullptr;
    ASSERT_EQ(provider()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromProvider)),
              S_OK);
    ASSERT_EQ(driver_.ui()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromUi)), S_OK);
    ASSERT_EQ(driver_.ui()->QueryInterface(IID_IPrintOemPrintTicketProvider,
                                           reinterpret_cast<void**>(&back)),
              S_OK);
    EXPECT_EQ(fromProvider, fromUi);
    EXPECT_EQ(back, provider());
    back->Release();
    fromUi->Release();
    fromProvider->Release();
    EXPECT_EQ(driver_.options(), OEMPT_DEFAULT);
    ASSERT_EQ(driver_.namespaces().size(), 1u);
    EXPECT_EQ(driver_.namespaces()[0], kPluginUri);

    OEMPTOPTS options = OEMPT_NOSNAPSHOT;
    INT count = 5;
    BSTR* names = reinterpret_cast<BSTR*>(1);
    EXPECT_EQ(provider()->BindPrinter(printer().handle(), 2, &options, &count, &names),
              E_VERSION_NOT_SUPPORTED);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);
    EXPECT_EQ(provider()->QueryDeviceDefaultNamespace(nullptr), E_NOTIMPL);
    // The driver's helper is not needed, and no reference to it is kept.
    IUnknown* helper = CreateDocument();
    EXPECT_EQ(provider()->PublishPrintTicketHelperInterface(helper), S_OK);
    helper->AddRef();
    EXPECT_EQ(helper->Release(), 1u);
    helper->Release();
}

TEST_F(TicketTest, CapabilitiesOfferTheSecureJobOnlyWithThePage) {
    const struct {
        DWORD options;
        const wchar_t* nameLimit;  // nullptr: the capabilities stay as they came
    } cases[] = {
        {DRVOPT_ABOUT_PAGE, nullptr}, {kPage, L">80<"}, {kPage | DRVOPT_SHORT_NAMES, L">20<"}};
    const std::wstring plain =
        Ticket(L"<psf:Feature name=\"psk:PageOrientation\"/>", L"PrintCapabilities");
    for (const auto& c : cases) {
        ASSERT_TRUE(printer().SetOptions(c.options));
        ComRef<IXMLDOMDocument2> caps = Load(plain);
        const std::wstring before = Xml(caps.get());
        ASSERT_EQ(provider()->CompletePrintCapabilities(nullptr, caps.get()), S_OK);
        const std::wstring after = Xml(caps.get());
        if (c.nameLimit == nullptr) {
            EXPECT_EQ(after, before);
            continue;
        }
        for (const std::wstring& expected :
             {std::wstring(L"JobPasscode\""), std::wstring(L"psk:PickOne"), std::wstring(L"psk:On"),
              std::wstring(L"psk:Off"), std::wstring(L"JobPasscodeString\""),
              std::wstring(L"UserName\""), std::wstring(L"JobName\""), std::wstring(c.nameLimit),
              ResourceString(resources(), IDS_TICKET_SECURE_PRINT),
              ResourceString(resources(), IDS_TICKET_JOB_NAME)}) {
            EXPECT_NE(after.find(expected), std::wstring::npos) << c.options;
        }
        // Completing twice replaces instead of adding.
        ASSERT_EQ(provider()->CompletePrintCapabilities(nullptr, caps.get()), S_OK);
        EXPECT_EQ(Xml(caps.get()).size(), after.size());
    }
    ComRef<IXMLDOMDocument2> ticket = Load(Ticket(L""));
    EXPECT_EQ(provider()->CompletePrintCapabilities(nullptr, ticket.get()),
              E_PRINTCAPABILITIES_FORMAT);
    // A name of the secure job that only a default namespace Wine cannot read would resolve.
    ComRef<IXMLDOMDocument2> unreadable =
        Load(Ticket(L"<psf:ParameterDef name=\"UserName\"/>", L"PrintCapabilities",
                    kDeclarations + L" xmlns=\"" + kPluginUri + L"\""));
    EXPECT_EQ(provider()->CompletePrintCapabilities(nullptr, unreadable.get()),
              ReadsDefaultDeclarations() ? S_OK : E_PRINTCAPABILITIES_FORMAT);
}

// One table of tickets, converted into a stored job and validated: what is refused leaves the
// record or the ticket exactly as it was; a validated ticket validates without conflict and
// converts as before; a job written into the ticket comes back from it.
TEST_F(TicketTest, TicketsConvertAndValidate) {
    const std::wstring name80(80, L'n');
    std::wstring many;
    for (int i = 0; i < 20000; ++i) {
        many += L"<psf:Feature name=\"psk:F" + std::to_wstring(i) +
                L"\"><psf:Option name=\"psk:O\"/>"
                L"</psf:Feature>";
    }
    std::wstring deep = L"<psf:Feature name=\"psk:Deep\">";
    for (int i = 0; i < 200; ++i) {
        deep += L"<psf:Option name=\"psk:D\">";
    }
    for (int i = 0; i < 200; ++i) {
        deep += L"</psf:Option>";
    }
    deep += L"</psf:Feature>";
    // XSI the root's default namespace and its xsi prefix another's; xsi and the plug-in's
    // namespace declared only on the parameters that use them.
    std::wstring xsiDefault = kDeclarations;
    xsiDefault.replace(xsiDefault.find(L"xmlns:xsi="), 10, L"xmlns=");
    xsiDefault.erase(xsiDefault.find(L" xmlns:p=")).append(L" xmlns:xsi=\"urn:decoy\"");
    const std::wstring here =
        L" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:p=\"" +
        std::wstring(kPluginUri) + L"\"";
    const bool readsDefault = ReadsDefaultDeclarations();
    const struct Row {
        const char* what;
        DWORD options;
        bool digest;  // the stored job holds the digest of 9999
        std::wstring body;
        HRESULT converted;  // on failure the record stays exactly as it was
        int secure;
        const char* expectedDigest;  // "" none
        std::wstring user, job;
        HRESULT validated;  // on failure the ticket stays exactly as it was
        int custom = -1;    // customNames of a secure job; -1: the page's rule, not checked here
        std::wstring declarations = kDeclarations;  // the root's
        bool names = true;                          // the stored job holds two names
    } rows[] = {
        {"valid job", kPage, true, Passcode() + Pin(L"1234") + Names(L"Ann", L"Q3"), S_OK, 1,
         kDigest1234, L"Ann", L"Q3", S_NO_CONFLICT, 1},
        {"On keeps the stored digest", kPage, true, Passcode(), S_OK, 1, kDigest9999, L"old user",
         L"old job", S_NO_CONFLICT, 1},
        {"On without any digest", kPage, false, Passcode(), E_PRINTTICKET_FORMAT, 0, "",
         L"old user", L"old job", S_NO_CONFLICT},
        {"Off", kPage, true, Passcode(L"psk:Off"), S_OK, 0, kDigest9999, L"old user", L"old job",
         S_NO_CONFLICT},
        {"Off with a PIN", kPage, false, Passcode(L"psk:Off") + Pin(L"1234"), S_OK, 0, kDigest1234,
         L"old user", L"old job", S_NO_CONFLICT},
        {"letter in PIN, digest stored", kPage, true, Passcode() + Pin(L"12a4"),
         E_PRINTTICKET_FORMAT, 0, "", L"", L"", E_PRINTTICKET_FORMAT},
        {"short PIN, no digest", kPage, false, Passcode() + Pin(L"123"), E_PRINTTICKET_FORMAT, 0,
         "", L"", L"", E_PRINTTICKET_FORMAT},
        {"five digits", kPage, true, Pin(L"12345"), E_PRINTTICKET_FORMAT, 0, "", L"", L"",
         E_PRINTTICKET_FORMAT},
        {"full-width digits", kPage, true, Pin(L"\xFF11\xFF12\xFF13\xFF14"), E_PRINTTICKET_FORMAT,
         0, "", L"", L"", E_PRINTTICKET_FORMAT},
        {"PIN alone", kPage, false, Pin(L"1234"), S_OK, 0, kDigest1234, L"old user", L"old job",
         S_NO_CONFLICT},
        {"secure job, no names anywhere", kPage, true, Passcode() + Pin(L"1234"), S_OK, 1,
         kDigest1234, L"", L"", S_NO_CONFLICT, 0, kDeclarations, false},
        {"names at the limit", kPage, true, Names(name80, L"j"), S_OK, 0, kDigest9999, name80, L"j",
         S_NO_CONFLICT},
        {"names over the limit", kPage, true, Names(name80 + L"x", std::wstring(10000, L'j')), S_OK,
         0, kDigest9999, name80, std::wstring(80, L'j'), S_CONFLICT_RESOLVED},
        {"short names, a pair at the limit", kPage | DRVOPT_SHORT_NAMES, true,
         Names(std::wstring(21, L'u'), L"\x6F22" + std::wstring(18, L'j') + L"\xD83D\xDE00"), S_OK,
         0, kDigest9999, std::wstring(20, L'u'), L"\x6F22" + std::wstring(18, L'j'),
         S_CONFLICT_RESOLVED},
        {"refused characters", kPage, true, Names(L"Ann/Smith|x", L"a&#9;b;c"), S_OK, 0,
         kDigest9999, L"AnnSmithx", L"abc", S_CONFLICT_RESOLVED},
        {"Latin-1 names", kPage, true, Names(L"Zo\xEB \x20AC", L"x"), S_OK, 0, kDigest9999,
         L"Zo\xEB", L"x", S_CONFLICT_RESOLVED},
        {"ANSI names", kPage | DRVOPT_NAME_CHOICE, true, Names(L"Zo\xEB \x20AC", L"x"), S_OK, 0,
         kDigest9999, L"Zo\xEB \x20AC", L"x", S_NO_CONFLICT},
        {"duplicate name", kPage, true, Names(L"first", L"j") + Init(L"p:UserName", L"second"),
         S_OK, 0, kDigest9999, L"first", L"j", S_CONFLICT_RESOLVED},
        {"name without a value", kPage, true, L"<psf:ParameterInit name=\"p:UserName\"/>",
         E_PRINTTICKET_FORMAT, 0, kDigest9999, L"old user", L"old job", S_CONFLICT_RESOLVED},
        {"empty PIN", kPage, true, Passcode() + Pin(L""), E_PRINTTICKET_FORMAT, 0, "", L"", L"",
         E_PRINTTICKET_FORMAT},
        {"PIN of the wrong type", kPage, true, Init(L"k:JobPasscodeString", L"1234", L"integer"),
         E_PRINTTICKET_FORMAT, 0, kDigest9999, L"old user", L"old job", E_PRINTTICKET_FORMAT},
        {"unknown option", kPage, true, Passcode(L"psk:Maybe"), E_PRINTTICKET_FORMAT, 0,
         kDigest9999, L"old user", L"old job", E_PRINTTICKET_FORMAT},
        {"JobPasscode without an option", kPage, true, L"<psf:Feature name=\"k:JobPasscode\"/>",
         E_PRINTTICKET_FORMAT, 0, "", L"", L"", E_PRINTTICKET_FORMAT},
        {"page not offered: a secure job refused", DRVOPT_ABOUT_PAGE, true,
         Passcode() + Pin(L"1234") + Names(L"a", L"b"), E_PRINTTICKET_FORMAT, 0, "", L"", L"",
         E_PRINTTICKET_FORMAT},
        {"page not offered: Off left alone", DRVOPT_ABOUT_PAGE, true,
         Passcode(L"psk:Off") + Names(L"a", L"b"), S_OK, 0, kDigest9999, L"old user", L"old job",
         S_NO_CONFLICT},
        {"automatic names chosen on the page stay chosen", kPage | DRVOPT_NAME_CHOICE, true,
         Passcode() + Pin(L"1234"), S_OK, 1, kDigest1234, L"old user", L"old job", S_NO_CONFLICT,
         0},
        {"megabytes, thousands of elements", kPage, true, many + Passcode() + Pin(L"1234"), S_OK, 1,
         kDigest1234, L"old user", L"old job", S_NO_CONFLICT},
        {"deep nesting", kPage, true, deep + Passcode() + Pin(L"1234"), S_OK, 1, kDigest1234,
         L"old user", L"old job", S_NO_CONFLICT},
        {"xsi and the plug-in's namespace declared on the parameters only", kPage, true,
         Passcode() + Init(L"k:JobPasscodeString", L"1234", L"string", here.c_str()) +
             Init(L"p:UserName", L"Ann", L"string", here.c_str()) +
             Init(L"p:JobName", L"Q3", L"string", here.c_str()),
         S_OK, 1, kDigest1234, L"Ann", L"Q3", S_NO_CONFLICT, 1, xsiDefault},
        {"the keywords as the root's default namespace", kPage, false,
         L"<psf:Feature name=\"JobPasscode\"><psf:Option name=\"psk:On\"/></psf:Feature>" +
             Pin(L"1234"),
         readsDefault ? S_OK : E_PRINTTICKET_FORMAT, 1, kDigest1234, L"old user", L"old job",
         readsDefault ? S_NO_CONFLICT : E_PRINTTICKET_FORMAT, 1,
         kDeclarations + L" xmlns=\"http://schemas.microsoft.com/windows/2013/05/printing/"
                         L"printschemakeywordsv11\""},
        {"prefixes declared again below the root, decoys", kPage, true,
         L"<psf:Feature name=\"k:JobPasscode\" xmlns:k=\"urn:decoy\"><psf:Option "
         L"name=\"psk:Off\"/></psf:Feature><x:Feature name=\"k:JobPasscode\" "
         L"xmlns:x=\"urn:decoy\"><psf:Option "
         L"name=\"psk:Off\"/></x:Feature><psf:Feature><psf:Option "
         L"name=\"psk:Off\"/></psf:Feature><psf:Property name=\"k:JobPasscode\"/>"
         L"<psf:Feature name=\"k:JobPasscode\"><psf:Property name=\"psk:DisplayName\"/><psf:Option "
         L"name=\"psk:On\"/></psf:Feature>" +
             Init(L"q:JobPasscodeString", L"1234", L"string",
                  L" xmlns:q=\"http://schemas.microsoft.com/windows/2013/05/printing/"
                  L"printschemakeywordsv11\"") +
             Names(L"Ann", L"Q3"),
         S_OK, 1, kDigest1234, L"Ann", L"Q3", S_NO_CONFLICT, 1,
         kDeclarations + L" xmlns:q=\"urn:decoy\" xmlnsxk=\"urn:decoy\""},
        {"xsi bound to another namespace below the root", kPage, true,
         Init(L"p:UserName", L"Ann", L"string", L" xmlns:xsi=\"urn:decoy\""), E_PRINTTICKET_FORMAT,
         0, "", L"", L"", S_CONFLICT_RESOLVED},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(printer().SetOptions(row.options));
        ComRef<IXMLDOMDocument2> ticket = Load(Ticket(row.body, L"PrintTicket", row.declarations));
        const PrivateDevmode stored = Stored(row.digest, row.names);
        PrivateDevmode dm = stored;
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(ToDevmode(ticket.get(), dm), row.converted);
        EXPECT_LT(GetTickCount64() - start, 5000u);
        if (FAILED(row.converted)) {
            EXPECT_EQ(memcmp(&dm, &stored, sizeof(dm)), 0);
        } else {
            EXPECT_EQ(dm.secureEnabled, row.secure);
            EXPECT_STREQ(dm.pinDigest, row.expectedDigest);
            EXPECT_EQ(FieldText(dm.userName), row.user);
            EXPECT_EQ(FieldText(dm.jobName), row.job);
            EXPECT_TRUE(row.custom < 0 || dm.customNames == row.custom);
        }
        const std::wstring before = Xml(ticket.get());
        EXPECT_EQ(driver_.Validate(ticket.get()), row.validated);
        if (FAILED(row.validated)) {
            EXPECT_EQ(Xml(ticket.get()), before);
            continue;
        }
        // A validated ticket validates without conflict, and converts as before where
        // validation changed nothing; what it resolved converts.
        EXPECT_EQ(driver_.Validate(ticket.get()), S_NO_CONFLICT);
        PrivateDevmode again = stored;
        EXPECT_EQ(ToDevmode(ticket.get(), again),
                  row.validated == S_NO_CONFLICT ? row.converted : S_OK);
        if (SUCCEEDED(row.converted)) {
            EXPECT_EQ(memcmp(&again, &dm, sizeof(dm)), 0);
            // The job written into the same ticket comes back from it.
            PrivateDevmode written = dm;
            EXPECT_EQ(ToTicket(written, ticket.get()), S_OK);
            PrivateDevmode back = stored;
            EXPECT_EQ(ToDevmode(ticket.get(), back), S_OK);
            EXPECT_EQ(back.secureEnabled, dm.secureEnabled);
            EXPECT_STREQ(back.pinDigest, dm.pinDigest);
            EXPECT_EQ(FieldText(back.userName), FieldText(dm.userName));
            EXPECT_EQ(FieldText(back.jobName), FieldText(dm.jobName));
        }
    }
    ComRef<IXMLDOMDocument2> capabilities = Load(Ticket(L"", L"PrintCapabilities"));
    PrivateDevmode dm = Stored(true);
    EXPECT_EQ(ToDevmode(capabilities.get(), dm), E_PRINTTICKET_FORMAT);
    EXPECT_EQ(ToTicket(dm, capabilities.get()), E_PRINTTICKET_FORMAT);
    EXPECT_EQ(provider()->ValidatePrintTicket(capabilities.get()), E_PRINTTICKET_FORMAT);
}

// Null where the driver hands a pointer: E_POINTER (E_INVALIDARG for the record), nothing done.
TEST_F(TicketTest, NullArgumentsAreRefused) {
    ComRef<IXMLDOMDocument2> ticket = Load(Ticket(Passcode()));
    PrivateDevmode dm = Stored(true);
    INT count = 0;
    INT* versions = nullptr;
    OEMPTOPTS options = OEMPT_DEFAULT;
    BSTR* names = nullptr;
    IPrintOemPrintTicketProvider* p = provider();
    for (const HRESULT hr : {p->GetSupportedVersions(nullptr, nullptr, &count),
                             p->GetSupportedVersions(nullptr, &versions, nullptr),
                             p->BindPrinter(printer().handle(), 1, nullptr, &count, &names),
                             p->BindPrinter(printer().handle(), 1, &options, nullptr, &names),
                             p->BindPrinter(printer().handle(), 1, &options, &count, nullptr),
                             p->CompletePrintCapabilities(nullptr, nullptr),
                             p->ConvertPrintTicketToDevMode(nullptr, 0, nullptr, sizeof(dm), &dm),
                             p->ConvertDevModeToPrintTicket(0, nullptr, sizeof(dm), &dm, nullptr),
                             p->ValidatePrintTicket(nullptr)}) {
        EXPECT_EQ(hr, E_POINTER);
    }
    EXPECT_EQ(p->ConvertPrintTicketToDevMode(ticket.get(), 0, nullptr, sizeof(dm), nullptr),
              E_INVALIDARG);
    EXPECT_EQ(versions, nullptr);
    EXPECT_EQ(names, nullptr);
}

// drvhost ticket as a program's secure job reaches the provider: refused in one line, with a
// non-zero exit and no devmode shown, when no PIN could release the job.
TEST_F(TicketTest, HostNamesTheRefusalOfASecureJobWithoutAPin) {
    const struct {
        const wchar_t* arguments;
        DWORD exitCode;
        const char* line;
    } cases[] = {
        {L"--pin 12", 1,
         "refused the secure job (0x80040003 E_PRINTTICKET_FORMAT): the PIN given is not four "
         "ASCII digits; the devmode is unchanged"},
        {L"--user-name Ann", 1, "JobPasscode On with no PIN given, and none stored"},
        {L"--pin 1234 --user-name Ann --job-name Q3", 0, "secure printing : on"},
    };
    for (const auto& c : cases) {
        const ChildResult host = RunChild(
            BinPath(L"drvhost.exe"), L"ticket --printer \"" + printer().name() + L"\" --dll \"" +
                                         BinPath(L"pinprintui.dll") + L"\" " + c.arguments);
        ASSERT_TRUE(host.started);
        EXPECT_EQ(host.exitCode, c.exitCode) << host.output;
        EXPECT_NE(host.output.find(c.line), std::string::npos) << host.output;
        EXPECT_EQ(host.output.find("Private devmode") != std::string::npos, c.exitCode == 0);
    }
}

// devmode -> ticket -> devmode keeps the job, the ticket carries no PIN and no digest, and a
// job set through a ticket is the one the page stores for the same PIN and names.
TEST_F(TicketTest, RoundTripKeepsTheJobAndTheTicketsPinGivesThePagesDigest) {
    PrivateDevmode job = SecureDevmode();
    SetField(job.userName, 80, L"Ann");
    SetField(job.jobName, 80, L"Budget");
    auto sheet = Open(kPage, job);
    EnterPin(*sheet, L"2468");
    ASSERT_TRUE(sheet->Apply());
    const PrivateDevmode fromPage = sheet->devmode();

    // A program's names, the user's twice, in the plug-in's namespace declared on them only.
    std::wstring root = kDeclarations;
    root.erase(root.find(L" xmlns:p="));
    const std::wstring p = L" xmlns:p=\"" + std::wstring(kPluginUri) + L"\"";
    ComRef<IXMLDOMDocument2> ticket =
        Load(Ticket(Passcode(L"psk:Off") + Init(L"p:UserName", L"x", L"string", p.c_str()) +
                        Init(L"p:UserName", L"x2", L"string", p.c_str()) +
                        Init(L"p:JobName", L"y", L"string", p.c_str()),
                    L"PrintTicket", root));
    PrivateDevmode sent = fromPage;
    ASSERT_EQ(ToTicket(sent, ticket.get()), S_OK);
    const std::wstring xml = Xml(ticket.get());
    EXPECT_EQ(xml.find(L"UserName\""), xml.rfind(L"UserName\"")) << "one user name";
    EXPECT_EQ(xml.find(L"JobPasscodeString"), std::wstring::npos);
    EXPECT_EQ(xml.find(std::wstring(fromPage.pinDigest, fromPage.pinDigest + 8)),
              std::wstring::npos);
    EXPECT_EQ(xml.find(L"\"x\""), std::wstring::npos);
    // The digest rides in the driver's snapshot, which the driver restores before converting.
    PrivateDevmode back = DefaultDevmode();
    memcpy(back.pinDigest, fromPage.pinDigest, sizeof(back.pinDigest));
    ASSERT_EQ(ToDevmode(ticket.get(), back), S_OK);
    EXPECT_EQ(back.secureEnabled, 1);
    EXPECT_EQ(FieldText(back.userName), L"Ann");
    EXPECT_EQ(FieldText(back.jobName), L"Budget");

    // The same job set through a ticket is the page's, byte for byte.
    ComRef<IXMLDOMDocument2> withPin =
        Load(Ticket(Passcode() + Pin(L"2468") + Names(L"Ann", L"Budget")));
    PrivateDevmode fromTicket = job;
    ASSERT_EQ(ToDevmode(withPin.get(), fromTicket), S_OK);
    EXPECT_STREQ(fromTicket.pinDigest, kDigest2468);
    EXPECT_EQ(memcmp(&fromTicket, &fromPage, sizeof(fromPage)), 0);
}

TEST_F(TicketTest, ThreadsConvertTheirOwnTicketsAndDevmodes) {
    const auto work = [this](const wchar_t* pin, const char* digest, const wchar_t* user,
                             bool* ok) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        for (int i = 0; i < 100 && *ok; ++i) {
            ComRef<IXMLDOMDocument2> ticket =
                Load(Ticket(Passcode() + Pin(pin) + Names(user, user)));
            PrivateDevmode dm = DefaultDevmode();
            *ok = ToDevmode(ticket.get(), dm) == S_OK && strcmp(dm.pinDigest, digest) == 0 &&
                  FieldText(dm.userName) == user && ToTicket(dm, ticket.get()) == S_OK &&
                  Xml(ticket.get()).find(std::wstring(L">") + user + L"<") != std::wstring::npos;
        }
        CoUninitialize();
    };
    bool first = true;
    bool second = true;
    std::thread a(work, L"1234", kDigest1234, L"first", &first);
    std::thread b(work, L"5678", kDigest5678, L"second", &second);
    a.join();
    b.join();
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
}

// A record of exactly 652 bytes before an inaccessible page, full of out-of-range values and
// unterminated strings: read within its bytes by both conversions, written back valid.
TEST_F(TicketTest, UntrustedRecordIsReadWithinItsBytesAndLeftValid) {
    GuardedArray<PrivateDevmode> record(1);
    ASSERT_TRUE(record.ok());
    memset(record.data(), 0xFF, sizeof(PrivateDevmode));
    ComRef<IXMLDOMDocument2> ticket = Load(Ticket(L""));
    ASSERT_EQ(provider()->ConvertDevModeToPrintTicket(0, nullptr, sizeof(PrivateDevmode),
                                                      record.data(), ticket.get()),
              S_OK);
    EXPECT_NE(Xml(ticket.get()).find(L"psk:Off"), std::wstring::npos);
    // What no XML text can carry (half a pair, a control character) stays out of the ticket.
    PrivateDevmode odd = Stored(true);
    SetField(odd.userName, 80, std::wstring{L'A', L'\xD800', L'B', L'\x01', L'C', L'\xDC00'});
    ComRef<IXMLDOMDocument2> plain = Load(Ticket(L""));
    ASSERT_EQ(ToTicket(odd, plain.get()), S_OK);
    EXPECT_NE(Xml(plain.get()).find(L">ABC<"), std::wstring::npos) << "user name ABC";
    ASSERT_EQ(ToDevmode(ticket.get(), *record.data()), S_OK);
    PrivateDevmode validated = *record.data();
    ValidatePrivateDevmode(&validated);
    EXPECT_EQ(memcmp(&validated, record.data(), sizeof(validated)), 0);
    EXPECT_EQ(provider()->ConvertPrintTicketToDevMode(ticket.get(), 0, nullptr,
                                                      sizeof(PrivateDevmode) - 1, record.data()),
              E_INVALIDARG);
}

}  // namespace
}  // namespace pinprint::test
