// The rendering plug-in through the built pinprintps.dll, driven as the PostScript driver's
// rendering side drives it (drvhost's RenderDriver and SpoolHelper), on records the real UI
// plug-in makes. The envelope is written out here literally: it is the contract with the printer.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "driver_render.h"
#include "platform/print_ticket_provider.h"
#include "rules/pin_digest.h"
#include "support/guarded_array.h"
#include "support/secure_page_sheet.h"

namespace pinprint::test {
namespace {

using drvhost::DriverJob;
using drvhost::RenderDriver;
using drvhost::SpoolHelper;
// printf 1234 | sha256sum
const std::string kDigest = "03ac674216f3e15c761ee1a5e255f067953623c8b388b4459e13f978d7c846f4";

std::string Begin(const std::string& user, const std::string& job) {
    return "\x1B%-12345X@PJL\r\n@PJL JOB NAME=\"" + job + "\"\r\n@PJL SET USERNAME=\"" + user +
           "\"\r\n@PJL SET JOBNAME=\"" + job +
           "\"\r\n@PJL SET HOLD=ON\r\n@PJL SET HOLDTYPE=PRIVATE\r\n@PJL SET HOLDKEYDIGEST=\"" +
           kDigest + "\"\r\n@PJL SET QTY=1\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";
}
std::string End(const std::string& job) {
    return "\x1B%-12345X@PJL EOJ NAME=\"" + job + "\"\r\n\x1B%-12345X";
}

class Render : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(ui_.module(), nullptr);
        std::wstring reason;
        ASSERT_TRUE(driver_.Load(BinPath(L"pinprintps.dll"), reason)) << reason.size();
    }

    // The UI plug-in's default devmode with `edit` applied and merged as the driver merges it.
    std::vector<BYTE> Devmode(const std::function<void(PrivateDevmode&)>& edit) {
        IPrintOemUI* ui = ui_.CreatePlugin();
        std::vector<BYTE> devmode;
        std::vector<BYTE> job;
        EXPECT_TRUE(drvhost::DefaultDevmode(ui, devmode) && drvhost::DefaultDevmode(ui, job));
        auto& record = *reinterpret_cast<PrivateDevmode*>(devmode.data() + sizeof(DEVMODEW));
        edit(record);
        EXPECT_EQ(drvhost::MergeDevmode(ui, job, &record), S_OK);
        ui->Release();
        return job;
    }
    static void Secure(PrivateDevmode& r) {
        r.secureEnabled = 1;
        memcpy(r.pinDigest, kDigest.c_str(), 65);
        r.customNames = 1;
        SetField(r.userName, kNameChars, L"Ann Smith");
        SetField(r.jobName, kNameChars, L"Q3 report");
    }

    struct Outcome {
        HRESULT enable;
        DWORD error;
        bool written;
        std::string stream;
    };
    // One job of `pages` pages: EnablePDEV, the document with every injection, DisablePDEV.
    Outcome Print(std::vector<BYTE> devmode, int pages = 1, RenderDriver* driver = nullptr) {
        driver = driver != nullptr ? driver : &driver_;
        DriverJob job;
        Outcome outcome = {driver->StartJob(job, devmode, nullptr), GetLastError(), false, {}};
        if (SUCCEEDED(outcome.enable)) {
            outcome.written =
                drvhost::WritePostScriptJob(driver->plugin(), job, {"Test", "today", {}, pages});
            EXPECT_EQ(driver->EndJob(job), S_OK);
        } else {
            EXPECT_EQ(job.devobj.pdevOEM, nullptr);
        }
        outcome.stream = job.stream;
        return outcome;
    }

    drvhost::PluginModule ui_{BinPath(L"pinprintui.dll")};
    RenderDriver driver_;
};

TEST(RenderModule, ServesOnlyItsClassAndInterface) {
    drvhost::PluginModule dll(BinPath(L"pinprintps.dll"));
    void* factory = nullptr;
    EXPECT_EQ(dll.GetClassObject(CLSID_OEMUI, IID_IClassFactory, &factory),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
    const std::pair<const IID*, HRESULT> cases[] = {
        {&IID_IUnknown, S_OK},
        {&IID_IPrintOemPS, S_OK},
        {&IID_IPrintOemPS2, E_NOINTERFACE},
        {&IID_IPrintOemUI, E_NOINTERFACE},
        {&IID_IPrintOemPrintTicketProvider, E_NOINTERFACE},
        {&IID_IClassFactory, E_NOINTERFACE},
    };
    for (const auto& [iid, expected] : cases) {
        HRESULT hr = E_FAIL;
        IUnknown* object = drvhost::CreatePluginObject(dll.module(), *iid, &hr, CLSID_OEMRENDER);
        EXPECT_EQ(hr, expected);
        EXPECT_EQ(dll.CanUnloadNow(), object != nullptr ? S_FALSE : S_OK);
        if (object != nullptr) {
            EXPECT_EQ(object->Release(), 0u);
        }
    }
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

TEST_F(Render, GetInfoAnswersAsTheUiPluginAndDeclinesWhatItMay) {
    struct Case {
        DWORD mode;
        DWORD size;
        bool needed;
        HRESULT result;
        DWORD error;  // 0: not set
        DWORD value;
    };
    const Case cases[] = {
        {OEMGI_GETSIGNATURE, 4, true, S_OK, 0, 0x564B5053},
        {OEMGI_GETVERSION, 4, true, S_OK, 0, 0x101},
        {OEMGI_GETSIGNATURE, 3, true, E_FAIL, 122, 0},
        {OEMGI_GETVERSION, 4, false, E_FAIL, 87, 0},
        {OEMGI_GETINTERFACEVERSION, 4, true, E_FAIL, 87, 0},
        {OEMGI_GETPUBLISHERINFO, 4, true, E_NOTIMPL, 0, 0},
        {OEMGI_GETREQUESTEDHELPERINTERFACES, 4, true, E_NOTIMPL, 0, 0},
    };
    for (const Case& c : cases) {
        DWORD value = 0;
        DWORD needed = 0;
        SetLastError(0);
        EXPECT_EQ(driver_.plugin()->GetInfo(c.mode, &value, c.size, c.needed ? &needed : nullptr),
                  c.result)
            << c.mode;
        EXPECT_EQ(GetLastError(), c.error) << c.mode;
        EXPECT_EQ(value, c.value) << c.mode;
    }
}

// Size, default, convert and merge give what the UI plug-in gives, byte for byte.
TEST_F(Render, DevModeIsTheUiPluginsByteForByte) {
    IPrintOemUI* ui = ui_.CreatePlugin();
    const std::function<void(PrivateDevmode&)> inputs[] = {
        [](PrivateDevmode&) {}, Secure, [](PrivateDevmode& r) { memset(&r, 0xFF, sizeof(r)); },
        [](PrivateDevmode& r) { r.dwSignature = 0x12345678; },
        [](PrivateDevmode& r) { r.dwSize = 20, r.secureEnabled = 2, r.rangeValue1 = 250; }};
    for (DWORD mode = 0; mode <= 5; ++mode) {
        for (const auto& edit : inputs) {
            PrivateDevmode in{};
            DefaultPrivateDevmode(&in);
            edit(in);
            std::vector<BYTE> outs[2];
            HRESULT results[2];
            DWORD errors[2];
            IPrintOemCommon* plugins[2] = {ui, driver_.plugin()};
            for (int p = 0; p < 2; ++p) {
                outs[p].assign(sizeof(DEVMODEW) + kPrivateDevmodeSize, 0x5A);
                OEMDMPARAM param = {};
                param.cbSize = sizeof(param);
                param.pPublicDMOut = reinterpret_cast<DEVMODEW*>(outs[p].data());
                param.pOEMDMIn = &in;
                param.pOEMDMOut = outs[p].data() + sizeof(DEVMODEW);
                param.cbBufSize = kPrivateDevmodeSize;
                SetLastError(0);
                results[p] = plugins[p]->DevMode(mode, &param);
                errors[p] = GetLastError();
                outs[p].push_back(static_cast<BYTE>(param.cbBufSize));
            }
            EXPECT_EQ(results[0], results[1]) << mode;
            EXPECT_EQ(errors[0], errors[1]) << mode;
            EXPECT_EQ(outs[0], outs[1]) << mode;
        }
    }
    ui->Release();
}

// The first helper the driver offers that can write is kept, one reference, until the object
// ends; without one a secure job is refused and a normal one still prints.
TEST_F(Render, PublishKeepsTheFirstHelperThatCanWrite) {
    struct Case {
        SpoolHelper::Offers offers;
        HRESULT core, older;
        LONG refs;
        HRESULT secureJob;
    };
    const Case cases[] = {
        {SpoolHelper::Offers::Both, S_OK, S_FALSE, 2, S_OK},
        {SpoolHelper::Offers::OlderOnly, S_OK, S_FALSE, 2, S_OK},
        {SpoolHelper::Offers::Neither, E_FAIL, E_FAIL, 1, E_FAIL},
    };
    for (const Case& c : cases) {
        RenderDriver driver(c.offers);
        std::wstring reason;
        ASSERT_TRUE(driver.Load(BinPath(L"pinprintps.dll"), reason));
        EXPECT_EQ(driver.load().coreOffered, c.core);
        EXPECT_EQ(driver.load().olderOffered, c.older);
        EXPECT_EQ(driver.helper().refs, c.refs);
        const Outcome secure = Print(Devmode(Secure), 1, &driver);
        EXPECT_EQ(secure.enable, c.secureJob);
        EXPECT_EQ(secure.stream.rfind(Begin("Ann Smith", "Q3 report"), 0) == 0, c.refs == 2);
        EXPECT_EQ(Print(Devmode([](PrivateDevmode&) {}), 1, &driver).enable, S_OK);
    }
}

// The names each record gives the printer: USERNAME and JOBNAME as written.
TEST_F(Render, NamesAtThePrinter) {
    struct Case {
        const char* record;
        uint8_t custom;
        std::wstring user, job, login, computer;
        std::string userOut, jobOut;
    };
    std::string latin;
    for (int i = 0; i < 40; ++i) {
        latin += "\xC3\xA9";
    }
    const Case cases[] = {
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
        {"unpaired surrogates", 1,
         L"A\xD800"
         L"B",
         L"\xDC00"
         L"C\xD83D",
         L"", L"", "AB", "C"},
        {"over-long (80 x U+00E9; 79 x 'x' and U+20AC)", 1, std::wstring(80, L'\u00E9'),
         std::wstring(79, L'x') + L"\u20AC", L"", L"", latin, std::string(79, 'x')},
    };
    printf("| record | USERNAME | JOBNAME |\n|---|---|---|\n");
    for (const Case& c : cases) {
        const Outcome outcome = Print(Devmode([&c](PrivateDevmode& r) {
            Secure(r);
            r.customNames = c.custom;
            SetField(r.userName, kNameChars, c.user);
            SetField(r.jobName, kNameChars, c.job);
            SetField(r.loginName, kNameChars, c.login);
            SetField(r.computerName, kComputerNameChars, c.computer);
        }));
        EXPECT_EQ(outcome.enable, S_OK) << c.record;
        const std::string& stream = outcome.stream;
        EXPECT_EQ(stream.substr(0, Begin(c.userOut, c.jobOut).size()), Begin(c.userOut, c.jobOut))
            << c.record;
        EXPECT_EQ(stream.substr(stream.size() - End(c.jobOut).size()), End(c.jobOut)) << c.record;
        const size_t user = stream.find("USERNAME=\"") + 10;
        const size_t job = stream.find("SET JOBNAME=\"") + 13;
        printf("| %s | %s | %s |\n", c.record,
               stream.substr(user, stream.find('"', user) - user).c_str(),
               stream.substr(job, stream.find('"', job) - job).c_str());
    }
}

// A secure job that cannot be held never starts: EnablePDEV fails with a reason, and the driver
// writes not a byte of it.
TEST_F(Render, RecordsThatCannotBeHeldStartNoJob) {
    struct Case {
        const char* record;
        std::function<void(PrivateDevmode&)> edit;
        DWORD error;
    };
    const Case cases[] = {
        {"no digest", [](PrivateDevmode& r) { r.pinDigest[0] = 0; }, ERROR_INVALID_DATA},
        {"63 characters", [](PrivateDevmode& r) { r.pinDigest[63] = 0; }, ERROR_INVALID_DATA},
        {"upper-case hexadecimal", [](PrivateDevmode& r) { r.pinDigest[0] = 'A'; },
         ERROR_INVALID_DATA},
        {"not hexadecimal", [](PrivateDevmode& r) { r.pinDigest[10] = 'g'; }, ERROR_INVALID_DATA},
        {"no name anywhere",
         [](PrivateDevmode& r) {
             r.userName[0] = r.jobName[0] = r.loginName[0] = r.computerName[0] = 0;
         },
         ERROR_BAD_USERNAME},
        {"automatic names, none stored",
         [](PrivateDevmode& r) { r.customNames = 0, r.loginName[0] = r.computerName[0] = 0; },
         ERROR_BAD_USERNAME},
        {"names of refused characters only",
         [](PrivateDevmode& r) {
             SetField(r.userName, kNameChars, L"\"\"");
             SetField(r.jobName, kNameChars, L"\r\n\x7F");
             r.loginName[0] = r.computerName[0] = 0;
         },
         ERROR_BAD_USERNAME},
    };
    printf("| record | EnablePDEV | last error | bytes written |\n|---|---|---|---|\n");
    for (const Case& c : cases) {
        const LONG writes = driver_.helper().writes;
        const Outcome outcome = Print(Devmode([&c](PrivateDevmode& r) { Secure(r), c.edit(r); }));
        EXPECT_EQ(outcome.enable, E_FAIL) << c.record;
        EXPECT_EQ(outcome.error, c.error) << c.record;
        EXPECT_TRUE(outcome.stream.empty()) << c.record;
        EXPECT_EQ(driver_.helper().writes, writes) << c.record;
        printf("| %s | 0x%08lX | %lu | %zu |\n", c.record, outcome.enable, outcome.error,
               outcome.stream.size());
    }
    // Without a record nothing says the job is not secure.
    DriverJob job;
    PDEVOEM pdev = reinterpret_cast<PDEVOEM>(1);
    SetLastError(0);
    EXPECT_EQ(driver_.plugin()->EnablePDEV(&job.devobj, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                           nullptr, &pdev),
              E_FAIL);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(pdev, nullptr);
}

// A secure job is the driver's stream inside the envelope, a normal job the driver's stream
// alone; every other point adds nothing and says so.
TEST_F(Render, CommandWritesOnlyAtTheStreamsEnds) {
    const Outcome normal =
        Print(Devmode([](PrivateDevmode& r) { Secure(r), r.secureEnabled = 0; }), 2);
    const Outcome secure = Print(Devmode(Secure), 2);
    ASSERT_TRUE(normal.written && secure.written);
    EXPECT_EQ(normal.stream.rfind("%!PS-Adobe-3.0\n", 0), 0u);
    EXPECT_EQ(secure.stream, Begin("Ann Smith", "Q3 report") + normal.stream + End("Q3 report"));
    DriverJob job;
    std::vector<BYTE> devmode = Devmode(Secure);
    ASSERT_EQ(driver_.StartJob(job, devmode, nullptr), S_OK);
    for (DWORD index : {0u, 2u, 11u, 19u, 21u, 100u, 105u, 200u, 0xDDDDDDDDu}) {
        DWORD result = 0;
        EXPECT_EQ(driver_.plugin()->Command(&job.devobj, index, nullptr, 0, &result), S_OK);
        EXPECT_EQ(result, static_cast<DWORD>(ERROR_NOT_SUPPORTED)) << index;
    }
    EXPECT_TRUE(job.stream.empty());
    EXPECT_EQ(driver_.EndJob(job), S_OK);
}

// A write the helper fails, or takes short, fails Command, and the driver aborts the job.
TEST_F(Render, AFailedOrShortWriteAbortsTheJob) {
    const std::pair<LONG, DWORD> faults[] = {{1, 0}, {2, 0}, {0, 1}};  // fail from, short by
    for (const auto& [failFrom, shortBy] : faults) {
        driver_.helper().writes = 0;
        driver_.helper().failFrom = failFrom;
        driver_.helper().shortBy = shortBy;
        DriverJob job;
        std::vector<BYTE> devmode = Devmode(Secure);
        ASSERT_EQ(driver_.StartJob(job, devmode, nullptr), S_OK);
        std::vector<drvhost::Injection> calls;
        EXPECT_FALSE(drvhost::WritePostScriptJob(driver_.plugin(), job, {"T", "d", {}, 1}, &calls));
        EXPECT_EQ(calls.back().hr, E_FAIL);
        EXPECT_EQ(calls.back().result, static_cast<DWORD>(ERROR_WRITE_FAULT));
        EXPECT_EQ(calls.back().index, failFrom == 2u ? 20u : 1u);
        EXPECT_EQ(driver_.EndJob(job), S_OK);
    }
}

// After a reset the job ends under the record it started with.
TEST_F(Render, ResetPDEVKeepsTheJobsFirstRecord) {
    DriverJob first;
    DriverJob second;
    std::vector<BYTE> secure = Devmode(Secure);
    std::vector<BYTE> normal = Devmode([](PrivateDevmode&) {});
    ASSERT_EQ(driver_.StartJob(first, secure, nullptr), S_OK);
    ASSERT_EQ(driver_.StartJob(second, normal, nullptr), S_OK);
    EXPECT_EQ(driver_.plugin()->ResetPDEV(&first.devobj, &second.devobj), S_OK);
    DWORD result = 0;
    EXPECT_EQ(driver_.plugin()->Command(&second.devobj, PSINJECT_ENDSTREAM, nullptr, 0, &result),
              S_OK);
    EXPECT_EQ(second.stream, End("Q3 report"));
    EXPECT_EQ(driver_.plugin()->ResetPDEV(&first.devobj, nullptr), E_FAIL);
    EXPECT_EQ(driver_.EndJob(first), S_OK);
    EXPECT_EQ(driver_.EndJob(second), S_OK);
}

TEST_F(Render, TwoJobsOnTwoThreadsKeepTheirOwnEnvelopes) {
    std::vector<BYTE> devmodes[2] = {Devmode(Secure), Devmode([](PrivateDevmode& r) {
                                         Secure(r);
                                         SetField(r.userName, kNameChars, L"Bob");
                                         SetField(r.jobName, kNameChars, L"Budget");
                                     })};
    const std::string expected[2] = {Begin("Ann Smith", "Q3 report"), Begin("Bob", "Budget")};
    int mixed[2] = {0, 0};
    std::thread threads[2];
    for (int t = 0; t < 2; ++t) {
        threads[t] = std::thread([&, t] {
            for (int i = 0; i < 300; ++i) {
                DriverJob job;
                std::vector<BYTE> devmode = devmodes[t];
                driver_.StartJob(job, devmode, nullptr);
                drvhost::WritePostScriptJob(driver_.plugin(), job, {"T", "d", {}, 1});
                driver_.EndJob(job);
                mixed[t] += job.stream.rfind(expected[t], 0) != 0;
            }
        });
    }
    threads[0].join();
    threads[1].join();
    EXPECT_EQ(mixed[0] + mixed[1], 0);
}

// The record may end where the driver's memory ends: read within its 652 bytes, never written.
TEST_F(Render, ARecordAtAGuardPageIsReadWithinItsBytes) {
    const std::vector<BYTE> devmode = Devmode(Secure);
    GuardedArray<BYTE> record(kPrivateDevmodeSize);
    ASSERT_TRUE(record.ok());
    memcpy(record.data(), devmode.data() + sizeof(DEVMODEW), kPrivateDevmodeSize);
    DriverJob job;
    job.devobj.pOEMDM = record.data();
    PDEVOEM pdev = nullptr;
    ASSERT_EQ(driver_.plugin()->EnablePDEV(&job.devobj, nullptr, 0, nullptr, 0, nullptr, 0, nullptr,
                                           nullptr, &pdev),
              S_OK);
    job.devobj.pdevOEM = pdev;
    EXPECT_EQ(driver_.EndJob(job), S_OK);
    std::vector<BYTE> out;
    ASSERT_TRUE(drvhost::DefaultDevmode(driver_.plugin(), out));
    EXPECT_EQ(drvhost::MergeDevmode(driver_.plugin(), out, record.data()), S_OK);
    EXPECT_EQ(memcmp(out.data() + sizeof(DEVMODEW), record.data(), kPrivateDevmodeSize), 0);
}

}  // namespace
}  // namespace pinprint::test
