// The rendering plug-in through the built pinprintps.dll, driven as the PostScript driver's
// rendering side drives it (drvhost's RenderDriver and SpoolHelper), on records the real UI
// plug-in makes. The envelope is written out here literally: it is the contract with the printer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "driver_render.h"
#include "platform/print_ticket_provider.h"
#include "support/guarded_array.h"
#include "support/secure_page_sheet.h"

namespace pinprint::test {
namespace {

using drvhost::DriverJob;
using drvhost::RenderDriver;
using drvhost::SpoolHelper;
using Edit = std::function<void(PrivateDevmode&)>;
// printf 1234 | sha256sum
const std::string kDigest = "03ac674216f3e15c761ee1a5e255f067953623c8b388b4459e13f978d7c846f4";
const drvhost::PrintDocument kDocument = {"Test", "today", {}, 1};

std::string Begin(const std::string& user, const std::string& job) {
    return "\x1B%-12345X@PJL\r\n@PJL JOB NAME=\"" + job + "\"\r\n@PJL SET USERNAME=\"" + user +
           "\"\r\n@PJL SET JOBNAME=\"" + job +
           "\"\r\n@PJL SET HOLD=ON\r\n@PJL SET HOLDTYPE=PRIVATE\r\n@PJL SET HOLDKEYDIGEST=\"" +
           kDigest + "\"\r\n@PJL SET QTY=1\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";
}
std::string End(const std::string& job) {
    return "\x1B%-12345X@PJL EOJ NAME=\"" + job + "\"\r\n\x1B%-12345X";
}
void Secure(PrivateDevmode& r) {
    r.secureEnabled = 1;
    memcpy(r.pinDigest, kDigest.c_str(), 65);
    r.customNames = 1;
    SetField(r.userName, kNameChars, L"Ann Smith");
    SetField(r.jobName, kNameChars, L"Q3 report");
}

class Render : public ::testing::Test {
  protected:
    void SetUp() override {
        std::wstring reason;
        ASSERT_TRUE(ui_.module() != nullptr && driver_.Load(BinPath(L"pinprintps.dll"), reason));
        plugin_ = driver_.plugin();
    }
    // The UI plug-in's default devmode with `edit` applied, merged as the driver merges it.
    std::vector<BYTE> Devmode(const Edit& edit) {
        IPrintOemUI* ui = ui_.CreatePlugin();
        std::vector<BYTE> edited;
        std::vector<BYTE> job;
        EXPECT_TRUE(drvhost::DefaultDevmode(ui, edited) && drvhost::DefaultDevmode(ui, job));
        auto* record = reinterpret_cast<PrivateDevmode*>(edited.data() + sizeof(DEVMODEW));
        edit(*record);
        EXPECT_EQ(drvhost::MergeDevmode(ui, job, record), S_OK);
        ui->Release();
        return job;
    }

    drvhost::PluginModule ui_{BinPath(L"pinprintui.dll")};
    RenderDriver driver_;
    IPrintOemPS* plugin_ = nullptr;
};

TEST(RenderModule, ServesOnlyItsClassAndInterface) {
    drvhost::PluginModule dll(BinPath(L"pinprintps.dll"));
    void* factory = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll.GetClassObject(CLSID_OEMUI, IID_IClassFactory, &factory),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
    const std::pair<const IID*, HRESULT> cases[] = {
        {&IID_IUnknown, S_OK},
        {&IID_IPrintOemPS, S_OK},
        {&IID_IPrintOemPS2, E_NOINTERFACE},
        {&IID_IPrintOemUI, E_NOINTERFACE},
        {&IID_IPrintOemPrintTicketProvider, E_NOINTERFACE},
        {&IID_IClassFactory, E_NOINTERFACE}};
    for (const auto& [iid, expected] : cases) {
        HRESULT hr = E_FAIL;
        IUnknown* object = drvhost::CreatePluginObject(dll.module(), *iid, &hr, CLSID_OEMRENDER);
        EXPECT_EQ(hr, expected);
        EXPECT_EQ(dll.CanUnloadNow(), object != nullptr ? S_FALSE : S_OK);
        EXPECT_EQ(object != nullptr ? object->Release() : 0u, 0u);
    }
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

// GetInfo answers as the UI plug-in does (the same code, module/plugin_requests.cpp, as DevMode
// is), but for the two modes a rendering plug-in may decline.
TEST_F(Render, GetInfoDeclinesWhatARenderingPluginMay) {
    const struct {
        DWORD mode, size;
        HRESULT result;
        DWORD error, value;
    } cases[] = {{OEMGI_GETSIGNATURE, 4, S_OK, 0, 0x564B5053},
                 {OEMGI_GETVERSION, 4, S_OK, 0, 0x101},
                 {OEMGI_GETVERSION, 3, E_FAIL, 122, 0},
                 {OEMGI_GETINTERFACEVERSION, 4, E_FAIL, 87, 0},
                 {OEMGI_GETPUBLISHERINFO, 4, E_NOTIMPL, 0, 0},
                 {OEMGI_GETREQUESTEDHELPERINTERFACES, 4, E_NOTIMPL, 0, 0}};
    for (const auto& c : cases) {
        DWORD value = 0;
        DWORD needed = 0;
        SetLastError(0);
        EXPECT_EQ(plugin_->GetInfo(c.mode, &value, c.size, &needed), c.result) << c.mode;
        EXPECT_EQ(GetLastError(), c.error) << c.mode;
        EXPECT_EQ(value, c.value) << c.mode;
    }
}

// What the driver should never hand in is refused with the platform's error, nothing read or
// kept; the drawing hooks a plug-in may leave alone are declined.
TEST_F(Render, MissingArgumentsAreRefused) {
    DEVOBJ none = {};
    none.dwSize = sizeof(DEVOBJ);
    DWORD result = 0;
    PDEVOEM pdev = reinterpret_cast<PDEVOEM>(1);
    void* object = reinterpret_cast<void*>(1);
    const std::pair<HRESULT, HRESULT> cases[] = {
        {plugin_->QueryInterface(IID_IPrintOemPS, nullptr), E_POINTER},
        {plugin_->EnableDriver(0, 0, nullptr), E_NOTIMPL},
        {plugin_->DisableDriver(), E_NOTIMPL},
        {plugin_->EnablePDEV(&none, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, nullptr, nullptr),
         E_FAIL},
        {plugin_->EnablePDEV(&none, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, nullptr, &pdev),
         E_FAIL},
        {plugin_->DisablePDEV(nullptr), E_FAIL},
        {plugin_->ResetPDEV(&none, nullptr), E_FAIL},
        {plugin_->Command(&none, PSINJECT_BEGINSTREAM, nullptr, 0, nullptr), E_FAIL},
        {plugin_->Command(&none, PSINJECT_BEGINSTREAM, nullptr, 0, &result), E_FAIL},
        {plugin_->PublishDriverInterface(nullptr), S_OK},  // the first helper stays
        {plugin_->QueryInterface(IID_IPrintOemUI, &object), E_NOINTERFACE}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
    }
    EXPECT_EQ(pdev, nullptr);
    EXPECT_EQ(result, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(object, nullptr);
    IUnknown* fresh =
        drvhost::CreatePluginObject(driver_.module(), IID_IPrintOemPS, nullptr, CLSID_OEMRENDER);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(static_cast<IPrintOemPS*>(fresh)->PublishDriverInterface(nullptr), E_FAIL);
    fresh->Release();
}

// The first helper the driver offers that can write is kept, one reference, until the object
// ends; without one a secure job is refused and a normal one still prints.
TEST_F(Render, PublishKeepsTheFirstHelperThatCanWrite) {
    const struct {
        SpoolHelper::Offers offers;
        HRESULT core, older;
        LONG refs;
    } cases[] = {{SpoolHelper::Offers::Both, S_OK, S_FALSE, 2},
                 {SpoolHelper::Offers::OlderOnly, S_OK, S_FALSE, 2},
                 {SpoolHelper::Offers::Neither, E_FAIL, E_FAIL, 1}};
    for (const auto& c : cases) {
        RenderDriver driver(c.offers);
        std::wstring reason;
        ASSERT_TRUE(driver.Load(BinPath(L"pinprintps.dll"), reason));
        EXPECT_EQ(driver.load().coreOffered, c.core);
        EXPECT_EQ(driver.load().olderOffered, c.older);
        EXPECT_EQ(driver.helper().refs, c.refs);
        DriverJob secure;
        DriverJob normal;
        const drvhost::JobResult held =
            drvhost::PrintJob(driver.plugin(), secure, Devmode(Secure), kDocument);
        EXPECT_TRUE(c.refs == 2 || held.error == ERROR_NOT_SUPPORTED);
        drvhost::PrintJob(driver.plugin(), normal, Devmode([](PrivateDevmode&) {}), kDocument);
        EXPECT_EQ(secure.stream.rfind(Begin("Ann Smith", "Q3 report"), 0) == 0, c.refs == 2);
        EXPECT_TRUE(secure.stream.empty() == (c.refs == 1) && !normal.stream.empty());
    }
}

// The names each record gives the printer: USERNAME and JOBNAME as written.
TEST_F(Render, NamesAtThePrinter) {
    const struct {
        const char* record;
        uint8_t custom;
        std::wstring user, job, login, computer;
        std::string userOut, jobOut;
    } cases[] = {
        {"typed", 1, L"Ann Smith", L"Q3 report", L"ann", L"PC-7", "Ann Smith", "Q3 report"},
        {"automatic", 0, L"Ann Smith", L"Q3 report", L"ann", L"PC-7", "ann", "PC-7"},
        {"typed, both empty", 1, L"", L"", L"ann", L"PC-7", "ann", "PC-7"},
        {"automatic, no login", 0, L"", L"", L"", L"PC-7", "PC-7", "PC-7"},
        {"automatic, no computer", 0, L"", L"", L"ann", L"", "ann", "ann"},
        {"hostile", 1, L"A\"\r\n\x1B%-12345X@PJL ENTER", L"\x7F\"\tJ", L"", L"",
         "A%-12345X@PJL ENTER", "J"},
        {"only refused characters", 1, L"\"\x1B", L"\r\n", L"ann", L"PC-7", "ann", "PC-7"},
        {"non-Latin", 1, L"\u5C71\u7530", L"\u5831\u544A \U0001F4C4", L"", L"",
         "\xE5\xB1\xB1\xE7\x94\xB0", "\xE5\xA0\xB1\xE5\x91\x8A \xF0\x9F\x93\x84"},
        {"unpaired surrogates", 1, std::wstring(L"A") + wchar_t(0xD800) + L"B",
         wchar_t(0xDC00) + std::wstring(L"C") + wchar_t(0xD83D), L"", L"", "AB", "C"},
        {"over-long: 80 x U+00E9; 79 x 'x' and U+20AC", 1, std::wstring(80, L'\u00E9'),
         std::wstring(79, L'x') + L"\u20AC", L"", L"",
         [] {
             std::string e;
             for (int i = 0; i < 40; ++i)
                 e += "\xC3\xA9";  // U+00E9 in UTF-8
             return e;
         }(),
         std::string(79, 'x')},
    };
    printf("| record | USERNAME | JOBNAME |\n|---|---|---|\n");
    for (const auto& c : cases) {
        DriverJob job;
        drvhost::PrintJob(plugin_, job, Devmode([&c](PrivateDevmode& r) {
                              Secure(r);
                              r.customNames = c.custom;
                              SetField(r.userName, kNameChars, c.user);
                              SetField(r.jobName, kNameChars, c.job);
                              SetField(r.loginName, kNameChars, c.login);
                              SetField(r.computerName, kComputerNameChars, c.computer);
                          }),
                          kDocument);
        EXPECT_EQ(job.stream.rfind(Begin(c.userOut, c.jobOut), 0), 0u) << c.record;
        EXPECT_EQ(job.stream.substr(job.stream.size() - End(c.jobOut).size()), End(c.jobOut));
        const std::string& s = job.stream;
        const size_t u = s.find("USERNAME=\"") + 10;
        const size_t j = s.find("SET JOBNAME=\"") + 13;
        printf("| %s | %s | %s |\n", c.record, s.substr(u, s.find('"', u) - u).c_str(),
               s.substr(j, s.find('"', j) - j).c_str());
    }
}

// A secure job that cannot be held never starts: EnablePDEV fails with a reason, and the driver
// writes not a byte of it.
TEST_F(Render, RecordsThatCannotBeHeldStartNoJob) {
    const auto noNames = [](PrivateDevmode& r) { r.loginName[0] = r.computerName[0] = 0; };
    const struct {
        const char* record;
        Edit edit;
        DWORD error;
    } cases[] = {
        {"no digest", [](PrivateDevmode& r) { r.pinDigest[0] = 0; }, ERROR_INVALID_DATA},
        {"63 characters", [](PrivateDevmode& r) { r.pinDigest[63] = 0; }, ERROR_INVALID_DATA},
        {"upper-case hex", [](PrivateDevmode& r) { r.pinDigest[0] = 'A'; }, ERROR_INVALID_DATA},
        {"not hex", [](PrivateDevmode& r) { r.pinDigest[10] = 'g'; }, ERROR_INVALID_DATA},
        {"no name anywhere",
         [&](PrivateDevmode& r) { noNames(r), r.userName[0] = r.jobName[0] = 0; },
         ERROR_BAD_USERNAME},
        {"automatic names, none stored", [&](PrivateDevmode& r) { noNames(r), r.customNames = 0; },
         ERROR_BAD_USERNAME},
        {"names of refused characters only",
         [&](PrivateDevmode& r) {
             noNames(r);
             SetField(r.userName, kNameChars, L"\"\"");
             SetField(r.jobName, kNameChars, L"\r\n\x7F");
         },
         ERROR_BAD_USERNAME},
    };
    printf("| record | EnablePDEV | last error | bytes written |\n|---|---|---|---|\n");
    for (const auto& c : cases) {
        const LONG writes = driver_.helper().writes;
        DriverJob job;
        const drvhost::JobResult result = drvhost::PrintJob(
            plugin_, job, Devmode([&c](PrivateDevmode& r) { Secure(r), c.edit(r); }), kDocument);
        EXPECT_EQ(result.started, E_FAIL) << c.record;
        EXPECT_EQ(result.error, c.error) << c.record;
        EXPECT_TRUE(job.stream.empty() && job.devobj.pdevOEM == nullptr) << c.record;
        EXPECT_EQ(driver_.helper().writes, writes) << c.record;
        printf("| %s | 0x%08lX | %lu | %zu |\n", c.record, result.started, result.error,
               job.stream.size());
    }
}

// A secure job is the driver's stream inside the envelope, a normal job the driver's stream
// alone; every other point adds nothing and says so.
TEST_F(Render, CommandWritesOnlyAtTheStreamsEnds) {
    DriverJob normal;
    DriverJob secure;
    std::vector<drvhost::Injection> calls;
    drvhost::PrintDocument document = kDocument;
    document.pages = 2;
    drvhost::PrintJob(plugin_, normal, Devmode([](PrivateDevmode&) {}), document);
    drvhost::PrintJob(plugin_, secure, Devmode(Secure), document, &calls);
    EXPECT_EQ(normal.stream.rfind("%!PS-Adobe-3.0\n", 0), 0u);
    EXPECT_EQ(secure.stream, Begin("Ann Smith", "Q3 report") + normal.stream + End("Q3 report"));
    for (const drvhost::Injection& call : calls) {
        const bool end = call.index == PSINJECT_BEGINSTREAM || call.index == PSINJECT_ENDSTREAM;
        EXPECT_EQ(call.hr, S_OK);
        EXPECT_EQ(call.result, end ? ERROR_SUCCESS : DWORD(ERROR_NOT_SUPPORTED)) << call.index;
    }
}

// A write the helper fails, or takes short, fails Command, and the driver aborts the job.
TEST_F(Render, AFailedOrShortWriteAbortsTheJob) {
    const struct {
        LONG failFrom;
        DWORD shortBy;
        DWORD failsAt;
    } faults[] = {{1, 0, PSINJECT_BEGINSTREAM}, {2, 0, PSINJECT_ENDSTREAM}, {0, 1, 1}};
    for (const auto& f : faults) {
        driver_.helper().writes = 0;
        driver_.helper().failFrom = f.failFrom;
        driver_.helper().shortBy = f.shortBy;
        DriverJob job;
        std::vector<drvhost::Injection> calls;
        EXPECT_FALSE(drvhost::PrintJob(plugin_, job, Devmode(Secure), kDocument, &calls).written);
        EXPECT_EQ(calls.back().hr, E_FAIL);
        EXPECT_EQ(calls.back().result, DWORD(ERROR_WRITE_FAULT));
        EXPECT_EQ(calls.back().index, f.failsAt);
    }
}

// Only between the envelope's head and its tail may a secure job's stream grow: any other order
// fails the job. A normal job's stream is the driver's alone, in any order.
TEST_F(Render, CommandOutOfOrderFailsASecureJob) {
    const std::vector<DWORD> orders[] = {
        {PSINJECT_PSADOBE},
        {PSINJECT_BEGINSTREAM, PSINJECT_BEGINSTREAM},
        {PSINJECT_ENDSTREAM},
        {PSINJECT_BEGINSTREAM, PSINJECT_ENDSTREAM, PSINJECT_EOF},
        {PSINJECT_BEGINSTREAM, PSINJECT_ENDSTREAM, PSINJECT_ENDSTREAM}};
    for (const bool secure : {true, false}) {
        std::vector<BYTE> devmode = secure ? Devmode(Secure) : Devmode([](PrivateDevmode&) {});
        for (const auto& order : orders) {
            DriverJob job;
            ASSERT_EQ(drvhost::StartJob(plugin_, job, devmode), S_OK);
            DWORD result = 0;
            HRESULT hr = S_OK;
            for (const DWORD index : order) {
                hr = plugin_->Command(&job.devobj, index, nullptr, 0, &result);
            }
            EXPECT_EQ(hr, secure ? E_FAIL : S_OK) << order.size();
            EXPECT_EQ(result, DWORD(secure ? ERROR_INVALID_STATE : ERROR_NOT_SUPPORTED));
            EXPECT_EQ(drvhost::EndJob(plugin_, job), S_OK);
        }
    }
}

// After a reset the job ends under the record it started with.
TEST_F(Render, ResetPDEVKeepsTheJobsFirstRecord) {
    DriverJob first;
    DriverJob second;
    std::vector<BYTE> secure = Devmode(Secure);
    std::vector<BYTE> normal = Devmode([](PrivateDevmode&) {});
    ASSERT_EQ(drvhost::StartJob(plugin_, first, secure), S_OK);
    ASSERT_EQ(drvhost::StartJob(plugin_, second, normal), S_OK);
    DWORD result = 0;
    ASSERT_EQ(plugin_->Command(&first.devobj, PSINJECT_BEGINSTREAM, nullptr, 0, &result), S_OK);
    EXPECT_EQ(plugin_->ResetPDEV(&first.devobj, &second.devobj), S_OK);
    EXPECT_EQ(plugin_->Command(&second.devobj, PSINJECT_ENDSTREAM, nullptr, 0, &result), S_OK);
    EXPECT_EQ(second.stream, End("Q3 report"));
    EXPECT_EQ(plugin_->ResetPDEV(&first.devobj, nullptr), E_FAIL);
    EXPECT_EQ(drvhost::EndJob(plugin_, first), S_OK);
    EXPECT_EQ(drvhost::EndJob(plugin_, second), S_OK);
}

TEST_F(Render, TwoJobsOnTwoThreadsKeepTheirOwnEnvelopes) {
    const std::vector<BYTE> devmodes[2] = {Devmode(Secure), Devmode([](PrivateDevmode& r) {
                                               Secure(r);
                                               SetField(r.userName, kNameChars, L"Bob");
                                               SetField(r.jobName, kNameChars, L"Budget");
                                           })};
    const std::string expected[2] = {Begin("Ann Smith", "Q3 report"), Begin("Bob", "Budget")};
    int mixed[2] = {0, 0};
    const auto print = [&](int t) {
        for (int i = 0; i < 300; ++i) {
            DriverJob job;
            drvhost::PrintJob(plugin_, job, devmodes[t], kDocument);
            mixed[t] += job.stream.rfind(expected[t], 0) != 0;
        }
    };
    std::thread other(print, 1);
    print(0);
    other.join();
    EXPECT_EQ(mixed[0] + mixed[1], 0);
}

// The record may hold anything and end where the driver's memory ends: it is read within its
// 652 bytes, validated as the record's own validation does, and never written (its page is
// read-only). DevMode reads it with the UI plug-in's code, which guard_page_test covers.
TEST_F(Render, ARecordAtAGuardPageIsReadWithinItsBytesAndNeverWritten) {
    const std::vector<BYTE> merged = Devmode(Secure);
    const auto unterminated = [](PrivateDevmode& r) {
        std::fill_n(r.userName, kNameChars + 1, u'u');
        std::fill_n(r.jobName, kNameChars + 1, u'j');
    };
    const std::pair<Edit, std::string> cases[] = {
        {[](PrivateDevmode&) {}, Begin("Ann Smith", "Q3 report")},
        {[](PrivateDevmode& r) { r.secureEnabled = 2; }, ""},  // a normal job
        {unterminated, Begin(std::string(80, 'u'), std::string(80, 'j'))}};
    for (const auto& [edit, begin] : cases) {
        GuardedArray<BYTE> record(kPrivateDevmodeSize);
        ASSERT_TRUE(record.ok());
        memcpy(record.data(), merged.data() + sizeof(DEVMODEW), kPrivateDevmodeSize);
        edit(*reinterpret_cast<PrivateDevmode*>(record.data()));
        DWORD old = 0;
        ASSERT_TRUE(VirtualProtect(record.data(), kPrivateDevmodeSize, PAGE_READONLY, &old));
        DriverJob job;
        job.devobj.pOEMDM = record.data();
        EXPECT_EQ(plugin_->EnablePDEV(&job.devobj, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                      nullptr, &job.devobj.pdevOEM),
                  S_OK);
        plugin_->Command(&job.devobj, PSINJECT_BEGINSTREAM, nullptr, 0, &old);
        EXPECT_EQ(job.stream, begin);
        drvhost::EndJob(plugin_, job);
    }
}

}  // namespace
}  // namespace pinprint::test
