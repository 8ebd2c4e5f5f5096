// The plug-in loaded as the PostScript driver loads it: LoadLibraryW, DllGetClassObject,
// CreateInstance. Every case goes through the built pinprintui.dll.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "devmode/private_devmode.h"
#include "support/test_support.h"
#include "tools/drvhost/driver_side.h"

namespace pinprint::test {
namespace {

const IID kSomeOtherIid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
// IPrintOemCommon has no identifier of its own that the object answers to.
const IID kPrintOemCommonIid = {
    0x7f42285e, 0x91d5, 0x11d1, {0x88, 0x20, 0, 0xc0, 0x4f, 0xb9, 0x61, 0xec}};

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(plugin_.module(), nullptr) << "pinprintui.dll did not load"; }

    IClassFactory* Factory() {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(plugin_.GetClassObject(CLSID_OEMUI, IID_IClassFactory,
                                         reinterpret_cast<void**>(&factory)),
                  S_OK);
        return factory;
    }

    LoadedPlugin plugin_;
};

TEST_F(ModuleTest, ExportsOnlyTheTwoServerEntries) {
    EXPECT_NE(GetProcAddress(plugin_.module(), "DllGetClassObject"), nullptr);
    EXPECT_NE(GetProcAddress(plugin_.module(), "DllCanUnloadNow"), nullptr);
    EXPECT_EQ(GetProcAddress(plugin_.module(), "DllMain"), nullptr);
}

TEST_F(ModuleTest, ClassObjectRequests) {
    struct Case {
        const CLSID* clsid;
        const IID* iid;
        HRESULT result;
    };
    const Case cases[] = {
        {&CLSID_OEMUI, &IID_IUnknown, S_OK},
        {&CLSID_OEMUI, &IID_IClassFactory, S_OK},
        {&CLSID_OEMUI, &IID_IPrintOemUI, E_NOINTERFACE},
        {&kSomeOtherIid, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {&IID_IPrintOemUI, &IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const auto& c : cases) {
        void* ppv = reinterpret_cast<void*>(0x1);  // garbage: must be cleared on failure
        EXPECT_EQ(plugin_.GetClassObject(*c.clsid, *c.iid, &ppv), c.result);
        if (c.result == S_OK) {
            ASSERT_NE(ppv, nullptr);
            auto* unknown = static_cast<IUnknown*>(ppv);
            // The caller holds the only reference.
            EXPECT_EQ(unknown->AddRef(), 2u);
            EXPECT_EQ(unknown->Release(), 1u);
            EXPECT_EQ(unknown->Release(), 0u);
        } else {
            EXPECT_EQ(ppv, nullptr);
        }
    }
    EXPECT_EQ(plugin_.GetClassObject(CLSID_OEMUI, IID_IClassFactory, nullptr), E_POINTER);
    // Nothing made for a refused request is still alive.
    EXPECT_EQ(plugin_.CanUnloadNow(), S_OK);
}

TEST_F(ModuleTest, FactoryAndObjectInterfaces) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);

    void* ppv = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->QueryInterface(kSomeOtherIid, &ppv), E_NOINTERFACE);
    EXPECT_EQ(ppv, nullptr);

    struct Case {
        const IID* iid;
        HRESULT result;
    };
    const Case cases[] = {
        {&IID_IPrintOemUI, S_OK},
        {&IID_IUnknown, S_OK},
        {&IID_IClassFactory, E_NOINTERFACE},
        {&kPrintOemCommonIid, E_NOINTERFACE},
        {&IID_IPrintOemDriverUI, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        ppv = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(factory->CreateInstance(nullptr, *c.iid, &ppv), c.result);
        if (c.result == S_OK) {
            auto* object = static_cast<IUnknown*>(ppv);
            EXPECT_EQ(object->AddRef(), 2u);
            EXPECT_EQ(object->Release(), 1u);
            void* again = nullptr;
            EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &again), E_NOINTERFACE);
            EXPECT_EQ(again, nullptr);
            EXPECT_EQ(object->Release(), 0u);
        } else {
            EXPECT_EQ(ppv, nullptr);
        }
    }
    // Aggregation is never supported, whatever the interface.
    IUnknown* outer = reinterpret_cast<IUnknown*>(factory);
    ppv = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(outer, IID_IPrintOemUI, &ppv), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(ppv, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUI, nullptr), E_POINTER);

    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(plugin_.CanUnloadNow(), S_OK);
}

TEST_F(ModuleTest, LockServerDecidesUnloading) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(2), S_OK);  // any nonzero value locks
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(plugin_.CanUnloadNow(), S_FALSE);

    factory = Factory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(plugin_.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    // The factory itself is still alive, so the module must stay.
    EXPECT_EQ(plugin_.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(plugin_.CanUnloadNow(), S_OK);

    // No lower bound: an unmatched unlock keeps the module until a lock balances it.
    factory = Factory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(plugin_.CanUnloadNow(), S_FALSE);
    factory = Factory();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(plugin_.CanUnloadNow(), S_OK);
}

TEST_F(ModuleTest, LiveObjectsKeepTheModule) {
    IPrintOemUI* object = plugin_.CreatePlugin();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(plugin_.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(plugin_.CanUnloadNow(), S_OK);
}

TEST_F(ModuleTest, ConcurrentCountsEndExact) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    IPrintOemUI* object = plugin_.CreatePlugin();
    ASSERT_NE(object, nullptr);

    constexpr int kThreads = 8;
    constexpr int kRounds = 20000;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            struct {
                DEVMODEW pub;
                PrivateDevmode in;
                PrivateDevmode out;
            } block = {};
            OEMDMPARAM param = {};
            param.cbSize = sizeof(param);
            param.pPublicDMOut = &block.pub;
            param.pOEMDMIn = &block.in;
            param.pOEMDMOut = &block.out;
            param.cbBufSize = sizeof(block.out);
            DefaultPrivateDevmode(&block.in);
            for (int i = 0; i < kRounds; ++i) {
                object->AddRef();
                factory->AddRef();
                factory->LockServer(TRUE);
                IPrintOemUI* made = nullptr;
                if (factory->CreateInstance(nullptr, IID_IPrintOemUI,
                                            reinterpret_cast<void**>(&made)) != S_OK) {
                    ++failures;
                } else {
                    // Each thread works on blocks of its own; the object shares nothing.
                    block.in.secureEnabled = static_cast<uint8_t>(i & 1);
                    block.pub.dmCopies = 9;
                    if (made->DevMode(OEMDM_MERGE, &param) != S_OK ||
                        block.pub.dmCopies != ((i & 1) ? 1 : 9) ||
                        block.out.secureEnabled != (i & 1)) {
                        ++failures;
                    }
                    made->Release();
                }
                factory->LockServer(FALSE);
                factory->Release();
                object->Release();
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(plugin_.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(plugin_.CanUnloadNow(), S_OK);
}

// --- GetInfo --------------------------------------------------------------------------------

constexpr DWORD kUntouched = 0xDEADBEEF;
constexpr DWORD kNotSet = 0xFFFFFFFF;

struct GetInfoCase {
    const char* name;
    DWORD mode;
    bool buffer;
    DWORD cbSize;
    bool pcbNeeded;
    HRESULT result;
    DWORD lastError;  // kNotSet: the call must not set it
    DWORD needed;     // kUntouched: left as it was
    DWORD value;      // kUntouched: buffer left as it was
};

TEST_F(ModuleTest, GetInfoResults) {
    const GetInfoCase cases[] = {
        {"signature", OEMGI_GETSIGNATURE, true, 4, true, S_OK, kNotSet, 4, 0x564B5053},
        {"signature, big buffer", OEMGI_GETSIGNATURE, true, 64, true, S_OK, kNotSet, 4, 0x564B5053},
        {"version", OEMGI_GETVERSION, true, 4, true, S_OK, kNotSet, 4, 0x101},
        {"signature, 3 bytes", OEMGI_GETSIGNATURE, true, 3, true, E_FAIL, 122, 4, kUntouched},
        {"version, no buffer", OEMGI_GETVERSION, false, 4, true, E_FAIL, 122, 4, kUntouched},
        {"publisher", OEMGI_GETPUBLISHERINFO, true, 4, true, E_FAIL, 50, 0, kUntouched},
        {"publisher, 2 bytes", OEMGI_GETPUBLISHERINFO, true, 2, true, E_FAIL, 122, 4, kUntouched},
        {"interface version", OEMGI_GETINTERFACEVERSION, true, 4, true, E_FAIL, 87, kUntouched,
         kUntouched},
        {"mode 0", 0, true, 4, true, E_FAIL, 87, kUntouched, kUntouched},
        {"mode 5", 5, true, 4, true, E_FAIL, 87, kUntouched, kUntouched},
        {"no pcbNeeded", OEMGI_GETSIGNATURE, true, 4, false, E_FAIL, 87, kUntouched, kUntouched},
        {"no pcbNeeded, bad mode", 77, false, 0, false, E_FAIL, 87, kUntouched, kUntouched},
    };
    IPrintOemUI* object = plugin_.CreatePlugin();
    ASSERT_NE(object, nullptr);
    for (const auto& c : cases) {
        DWORD buffer[16];
        for (auto& b : buffer) {
            b = kUntouched;
        }
        DWORD needed = kUntouched;
        SetLastError(kNotSet);
        EXPECT_EQ(object->GetInfo(c.mode, c.buffer ? buffer : nullptr, c.cbSize,
                                  c.pcbNeeded ? &needed : nullptr),
                  c.result)
            << c.name;
        EXPECT_EQ(GetLastError(), c.lastError) << c.name;
        EXPECT_EQ(needed, c.needed) << c.name;
        EXPECT_EQ(buffer[0], c.value) << c.name;
        EXPECT_EQ(buffer[1], kUntouched) << c.name;
    }
    object->Release();
}

// --- DevMode --------------------------------------------------------------------------------

struct Blocks {
    DEVMODEW pub;
    PrivateDevmode priv;
    PrivateDevmode in;
};

TEST_F(ModuleTest, DevModeResults) {
    IPrintOemUI* object = plugin_.CreatePlugin();
    ASSERT_NE(object, nullptr);

    // Mode checks come first.
    for (DWORD mode : {0u, 5u, 0xFFFFFFFFu}) {
        OEMDMPARAM param = {};
        SetLastError(0);
        EXPECT_EQ(object->DevMode(mode, &param), E_FAIL) << mode;
        EXPECT_EQ(GetLastError(), 87u) << mode;
    }
    SetLastError(0);
    EXPECT_EQ(object->DevMode(OEMDM_SIZE, nullptr), E_FAIL);
    EXPECT_EQ(GetLastError(), 87u);

    OEMDMPARAM param = {};
    param.cbSize = sizeof(param);
    SetLastError(kNotSet);
    EXPECT_EQ(object->DevMode(OEMDM_SIZE, &param), S_OK);
    EXPECT_EQ(param.cbBufSize, 652u);
    EXPECT_EQ(GetLastError(), kNotSet);

    Blocks b;
    memset(&b, 0xAB, sizeof(b));
    param.pPublicDMIn = &b.pub;
    param.pOEMDMOut = &b.priv;
    param.cbBufSize = sizeof(b.priv);
    EXPECT_EQ(object->DevMode(OEMDM_DEFAULT, &param), S_OK);
    EXPECT_EQ(b.priv.dwSize, 652u);
    EXPECT_EQ(b.priv.dwSignature, 0x564B5053u);
    EXPECT_EQ(b.priv.secureEnabled, 0);
    EXPECT_EQ(b.priv.codePage, GetACP());

    // Convert without an input block leaves the output as it was, and reports success.
    PrivateDevmode before = b.priv;
    param.pOEMDMIn = nullptr;
    EXPECT_EQ(object->DevMode(OEMDM_CONVERT, &param), S_OK);
    EXPECT_EQ(memcmp(&before, &b.priv, sizeof(before)), 0);

    // Merge of a secure job forces one copy and keeps dmFields.
    b.in = b.priv;
    b.in.secureEnabled = 1;
    b.pub.dmCopies = 5;
    const DWORD fields = b.pub.dmFields;
    param.pOEMDMIn = &b.in;
    param.pPublicDMOut = &b.pub;
    EXPECT_EQ(object->DevMode(OEMDM_MERGE, &param), S_OK);
    EXPECT_EQ(b.pub.dmCopies, 1);
    EXPECT_EQ(b.pub.dmFields, fields);
    EXPECT_EQ(b.priv.secureEnabled, 1);
    object->Release();
}

// A block the driver describes as missing or too small is never written.
TEST_F(ModuleTest, DevModeRefusesBlocksItCannotWrite) {
    IPrintOemUI* object = plugin_.CreatePlugin();
    ASSERT_NE(object, nullptr);
    Blocks b;
    memset(&b, 0x5A, sizeof(b));
    const Blocks untouched = b;

    struct Case {
        const char* name;
        DWORD mode;
        bool out;
        DWORD cbBufSize;
        bool publicOut;
        uint8_t secure;
        HRESULT result;
        DWORD lastError;
    };
    const Case cases[] = {
        {"default, no output", OEMDM_DEFAULT, false, 652, true, 0, E_FAIL, 87},
        {"default, 651 bytes", OEMDM_DEFAULT, true, 651, true, 0, E_FAIL, 122},
        {"convert, 12 bytes", OEMDM_CONVERT, true, 12, true, 0, E_FAIL, 122},
        {"convert, no output", OEMDM_CONVERT, false, 652, true, 0, S_OK, 0},
        {"merge, no output", OEMDM_MERGE, false, 652, true, 1, E_FAIL, 87},
        {"merge, 0 bytes", OEMDM_MERGE, true, 0, true, 1, E_FAIL, 122},
        {"merge secure, no public devmode", OEMDM_MERGE, true, 652, false, 1, E_FAIL, 87},
    };
    for (const auto& c : cases) {
        b = untouched;
        b.in.dwSize = 652;
        b.in.secureEnabled = c.secure;
        const Blocks start = b;
        OEMDMPARAM param = {};
        param.cbSize = sizeof(param);
        param.pOEMDMIn = &b.in;
        param.pOEMDMOut = c.out ? &b.priv : nullptr;
        param.pPublicDMOut = c.publicOut ? &b.pub : nullptr;
        param.cbBufSize = c.cbBufSize;
        SetLastError(0);
        EXPECT_EQ(object->DevMode(c.mode, &param), c.result) << c.name;
        EXPECT_EQ(GetLastError(), c.lastError) << c.name;
        EXPECT_EQ(memcmp(&start, &b, sizeof(b)), 0) << c.name;
    }

    // Without a public devmode, a job that is not secure still merges.
    b = untouched;
    b.in.dwSize = 652;
    b.in.dwSignature = 0x564B5053;
    b.in.secureEnabled = 0;
    OEMDMPARAM param = {};
    param.pOEMDMIn = &b.in;
    param.pOEMDMOut = &b.priv;
    param.cbBufSize = 652;
    EXPECT_EQ(object->DevMode(OEMDM_MERGE, &param), S_OK);
    EXPECT_EQ(b.priv.dwVersion, 0x101u);
    object->Release();
}

// --- PublishDriverInterface -------------------------------------------------------------------

TEST_F(ModuleTest, PublishDriverInterfaceKeepsOneReference) {
    IPrintOemUI* object = plugin_.CreatePlugin();
    ASSERT_NE(object, nullptr);
    drvhost::DriverHelper refusing(false);
    drvhost::DriverHelper first;
    drvhost::DriverHelper second;

    EXPECT_EQ(object->PublishDriverInterface(nullptr), E_FAIL);
    EXPECT_EQ(object->PublishDriverInterface(&refusing), E_FAIL);
    EXPECT_EQ(refusing.refs, 1);
    // A refusal leaves the slot empty, so the next publication is taken.
    EXPECT_EQ(object->PublishDriverInterface(&first), S_OK);
    EXPECT_EQ(first.refs, 2);
    EXPECT_EQ(object->PublishDriverInterface(&second), S_OK);
    EXPECT_EQ(second.queries, 0);
    EXPECT_EQ(second.refs, 1);
    // The held reference goes back when the object ends.
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(first.refs, 1);
    // The plug-in never calls the driver's helpers.
    EXPECT_EQ(refusing.helperCalls + first.helperCalls + second.helperCalls, 0);
}

TEST_F(ModuleTest, DeclinedOperationsLookAtNothing) {
    IPrintOemUI* object = plugin_.CreatePlugin();
    ASSERT_NE(object, nullptr);
    auto* garbage = reinterpret_cast<void*>(static_cast<uintptr_t>(0xBAADF00D));
    EXPECT_EQ(object->CommonUIProp(7, static_cast<POEMCUIPPARAM>(garbage)), E_NOTIMPL);
    EXPECT_EQ(object->DevQueryPrintEx(static_cast<POEMUIOBJ>(garbage),
                                      static_cast<PDEVQUERYPRINT_INFO>(garbage),
                                      static_cast<PDEVMODEW>(garbage), garbage),
              E_NOTIMPL);
    EXPECT_EQ(object->DeviceCapabilities(
                  static_cast<POEMUIOBJ>(garbage), garbage, static_cast<PWSTR>(garbage), 1, garbage,
                  static_cast<PDEVMODEW>(garbage), garbage, 0, static_cast<DWORD*>(garbage)),
              E_NOTIMPL);
    EXPECT_EQ(object->UpgradePrinter(1, static_cast<PBYTE>(garbage)), E_NOTIMPL);
    EXPECT_EQ(object->DriverEvent(1, 2, static_cast<LPBYTE>(garbage), 0), E_NOTIMPL);
    EXPECT_EQ(object->QueryColorProfile(garbage, static_cast<POEMUIOBJ>(garbage),
                                        static_cast<PDEVMODEW>(garbage), garbage, 0, garbage,
                                        static_cast<ULONG*>(garbage), static_cast<ULONG*>(garbage)),
              E_NOTIMPL);
    EXPECT_EQ(object->FontInstallerDlgProc(static_cast<HWND>(garbage), 0, 0, 0), E_NOTIMPL);
    EXPECT_EQ(object->UpdateExternalFonts(garbage, garbage, static_cast<PWSTR>(garbage)),
              E_NOTIMPL);
    object->Release();
}

}  // namespace
}  // namespace pinprint::test
