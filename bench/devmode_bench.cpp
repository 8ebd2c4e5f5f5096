// DevMode through the loaded plug-in, against the floor of copying the 652-byte record, and
// loading the DLL through to a created object.
#include <cstring>

#include "bench.h"
#include "devmode/private_devmode.h"
#include "platform/oemui.h"
#include "platform/proc_address.h"

namespace {

std::wstring BinPath(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path);
    return p.substr(0, p.find_last_of(L"\\/") + 1) + file;
}

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

IPrintOemUI* Create(HMODULE module) {
    auto get = pinprint::ProcAddress<GetClassObjectFn>(module, "DllGetClassObject");
    IClassFactory* factory = nullptr;
    if (get == nullptr ||
        FAILED(get(CLSID_OEMUI, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
        return nullptr;
    }
    IPrintOemUI* object = nullptr;
    factory->CreateInstance(nullptr, IID_IPrintOemUI, reinterpret_cast<void**>(&object));
    factory->Release();
    return object;
}

}  // namespace

int main() {
    const std::wstring dll = BinPath(L"pinprintui.dll");
    HMODULE module = LoadLibraryW(dll.c_str());
    IPrintOemUI* object = module ? Create(module) : nullptr;
    if (object == nullptr) {
        fprintf(stderr, "cannot load pinprintui.dll\n");
        return 1;
    }

    struct Blocks {
        DEVMODEW pub;
        pinprint::PrivateDevmode in;
        pinprint::PrivateDevmode out;
    } b = {};
    OEMDMPARAM param = {};
    param.cbSize = sizeof(param);
    param.pPublicDMIn = &b.pub;
    param.pPublicDMOut = &b.pub;
    param.pOEMDMIn = &b.in;
    param.pOEMDMOut = &b.out;
    param.cbBufSize = sizeof(b.out);
    object->DevMode(OEMDM_DEFAULT, &param);
    b.in = b.out;
    b.in.secureEnabled = 1;

    constexpr int kCalls = 200000;
    static volatile unsigned char sink;
    const double floorNs = bench::MedianNsPerCall(
        [&] {
            memcpy(&b.out, &b.in, sizeof(b.out));
            sink = reinterpret_cast<volatile unsigned char*>(&b.out)[sink & 7];
        },
        kCalls);
    const double defaultNs =
        bench::MedianNsPerCall([&] { object->DevMode(OEMDM_DEFAULT, &param); }, kCalls);
    const double convertNs =
        bench::MedianNsPerCall([&] { object->DevMode(OEMDM_CONVERT, &param); }, kCalls);
    const double mergeNs =
        bench::MedianNsPerCall([&] { object->DevMode(OEMDM_MERGE, &param); }, kCalls);
    object->Release();
    FreeLibrary(module);

    const double loadNs = bench::MedianNsPerCall(
        [&] {
            HMODULE m = LoadLibraryW(dll.c_str());
            IPrintOemUI* o = Create(m);
            if (o != nullptr) {
                o->Release();
            }
            FreeLibrary(m);
        },
        200, 7);

    int missed = bench::Report("DevMode per call (median of 9 x 200000 calls)",
                               {
                                   {"OEMDM_DEFAULT", defaultNs, "memcpy 652 B", floorNs, 0},
                                   {"OEMDM_CONVERT", convertNs, "memcpy 652 B", floorNs, 0},
                                   {"OEMDM_MERGE", mergeNs, "memcpy 652 B", floorNs, 3.0},
                               });
    bench::Report(
        "Loading (median of 7 x 200)",
        {{"LoadLibraryW .. CreateInstance .. Release .. FreeLibrary", loadNs, "-", 0, 0}});
    return missed == 0 ? 0 : 3;
}
