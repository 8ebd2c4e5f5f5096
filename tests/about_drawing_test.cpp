// The About page's logo drawing: its transparent colour against what lies beneath, on a bitmap
// and on the real page, and its graphics objects, which must all be gone by the end of each
// WM_DRAWITEM.
//
// Wine 8's GetGuiResources always answers 0, so the objects are counted another way. The page's
// code is linked statically into this test program, so every GDI and USER call it makes goes
// through this program's import address table. GdiTracker replaces the table's entries for the
// functions that create, select and delete the page's objects with counting wrappers: it keeps
// the set of live objects and DCs they created and what is selected into which DC, and can tell
// after each message whether everything was restored and deleted. The exhaustion test backs
// this from the outside: more draws than there are GDI handles left (Wine 8: 65480 per process),
// after which GDI must still work; to keep that quick, the test first takes all but a few
// hundred of those handles itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "pages/about_page.h"
#include "platform/unique_handle.h"
#include "resmodule/resource_ids.h"
#include "support/about_sheet.h"
#include "support/import_table.h"
#include "support/test_handles.h"
#include "support/test_printer.h"
#include "support/test_support.h"

namespace pinprint::test {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kMagenta = 0xFF00FF;  // 0x00RRGGBB as a 32-bit DIB holds it

// --- Pixels ----------------------------------------------------------------------------------

// Top-down 32-bit pixels of `width` x `height`.
BITMAPINFO TopDown32(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A top-down 32-bit DIB section selected into a memory DC.
class Canvas {
  public:
    Canvas(int width, int height) : width_(width) {
        BITMAPINFO info = TopDown32(width, height);
        dc_.reset(CreateCompatibleDC(nullptr));
        bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS,
                                       reinterpret_cast<void**>(&bits_), nullptr, 0));
        previous_ = SelectObject(dc_.get(), bitmap_.get());
    }
    ~Canvas() { SelectObject(dc_.get(), previous_); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool ok() const { return dc_ && bitmap_ && bits_ != nullptr; }
    HDC dc() const { return dc_.get(); }
    uint32_t at(int x, int y) const {
        GdiFlush();
        return bits_[y * width_ + x] & 0xFFFFFF;
    }

  private:
    int width_;
    UniqueMemoryDc dc_;
    UniqueGdiObject bitmap_;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
};

// A bitmap's own pixels as 0x00RRGGBB, row by row from the top.
std::vector<uint32_t> PixelsOf(HBITMAP bitmap, int width, int height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    BITMAPINFO info = TopDown32(width, height);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height) {
        pixels.clear();
    }
    for (auto& pixel : pixels) {
        pixel &= 0xFFFFFF;
    }
    return pixels;
}

// The logo as the plug-in carries it: 123 x 32, its pixels read through LoadImageW.
struct Logo {
    explicit Logo(HMODULE own) {
        UniqueGdiObject bitmap(
            LoadImageW(own, MAKEINTRESOURCEW(IDB_LOGO), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        BITMAP info{};
        if (bitmap && GetObjectW(bitmap.get(), sizeof(info), &info) != 0) {
            width = info.bmWidth;
            height = info.bmHeight;
            pixels = PixelsOf(static_cast<HBITMAP>(bitmap.get()), width, height);
        }
    }
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    size_t Transparent() const {
        size_t count = 0;
        for (uint32_t pixel : pixels) {
            count += pixel == kMagenta;
        }
        return count;
    }

    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// --- Counting GDI objects through the import address table ----------------------------------

class GdiTracker {
  public:
    static GdiTracker& Instance() {
        static GdiTracker tracker;
        return tracker;
    }

    // Patches this program's imports; false when one of them is not imported.
    bool Install() {
        HMODULE self = GetModuleHandleW(nullptr);
        bool all = true;
        all &= Patch(self, "user32.dll", "LoadImageW", &HookLoadImageW, &loadImageW_);
        all &= Patch(self, "user32.dll", "LoadBitmapW", &HookLoadBitmapW, &loadBitmapW_);
        all &=
            Patch(self, "gdi32.dll", "CreateSolidBrush", &HookCreateSolidBrush, &createSolidBrush_);
        all &= Patch(self, "gdi32.dll", "CreateCompatibleDC", &HookCreateCompatibleDC,
                     &createCompatibleDC_);
        all &= Patch(self, "gdi32.dll", "CreateCompatibleBitmap", &HookCreateCompatibleBitmap,
                     &createCompatibleBitmap_);
        all &= Patch(self, "gdi32.dll", "CreateBitmap", &HookCreateBitmap, &createBitmap_);
        all &= Patch(self, "gdi32.dll", "SelectObject", &HookSelectObject, &selectObject_);
        all &= Patch(self, "gdi32.dll", "DeleteObject", &HookDeleteObject, &deleteObject_);
        all &= Patch(self, "gdi32.dll", "DeleteDC", &HookDeleteDC, &deleteDC_);
        return all;
    }

    // Forgets what was counted before and counts from here on.
    void Start() {
        created = deleted = logoLoads = deletedSelected = dcsDeletedHolding = 0;
        liveObjects_.clear();
        liveDcs_.clear();
        selected_.clear();
        counting_ = true;
    }
    void Stop() { counting_ = false; }

    // Nothing created is alive, and every DC has what was selected into it before.
    bool Balanced() const { return liveObjects_.empty() && liveDcs_.empty() && selected_.empty(); }

    size_t created = 0;            // objects and DCs
    size_t deleted = 0;            // of those, deleted again
    size_t logoLoads = 0;          // LoadBitmapW calls: one per logo drawn
    size_t deletedSelected = 0;    // DeleteObject of an object still selected into a DC
    size_t dcsDeletedHolding = 0;  // DeleteDC of a DC still holding an object put into it

  private:
    GdiTracker() = default;

    template <typename Fn>
    static bool Patch(HMODULE module, const char* dll, const char* name, Fn replacement,
                      Fn* original) {
        bool found = false;
        ForEachImport(module, [&](const char* importDll, const char* importName, ULONG_PTR* slot) {
            if (lstrcmpiA(importDll, dll) != 0 || lstrcmpA(importName, name) != 0) {
                return true;
            }
            if (reinterpret_cast<Fn>(*slot) != replacement) {
                *original = reinterpret_cast<Fn>(
                    PatchImportSlot(slot, reinterpret_cast<ULONG_PTR>(replacement)));
            }
            found = true;
            return false;
        });
        return found;
    }

    void Created(HANDLE object, bool dc) {
        if (!counting_ || object == nullptr) {
            return;
        }
        ++created;
        if (dc) {
            liveDcs_.insert(static_cast<HDC>(object));
        } else {
            liveObjects_.insert(object);
        }
    }

    static HANDLE WINAPI HookLoadImageW(HINSTANCE module, LPCWSTR name, UINT type, int cx, int cy,
                                        UINT flags) {
        auto& t = Instance();
        HANDLE image = t.loadImageW_(module, name, type, cx, cy, flags);
        if (type == IMAGE_BITMAP) {
            t.Created(image, false);
        }
        return image;
    }
    static HBITMAP WINAPI HookLoadBitmapW(HINSTANCE module, LPCWSTR name) {
        auto& t = Instance();
        HBITMAP bitmap = t.loadBitmapW_(module, name);
        if (t.counting_) {
            ++t.logoLoads;
        }
        t.Created(bitmap, false);
        return bitmap;
    }
    static HBRUSH WINAPI HookCreateSolidBrush(COLORREF colour) {
        auto& t = Instance();
        HBRUSH brush = t.createSolidBrush_(colour);
        t.Created(brush, false);
        return brush;
    }
    static HDC WINAPI HookCreateCompatibleDC(HDC dc) {
        auto& t = Instance();
        HDC memory = t.createCompatibleDC_(dc);
        t.Created(memory, true);
        return memory;
    }
    static HBITMAP WINAPI HookCreateCompatibleBitmap(HDC dc, int cx, int cy) {
        auto& t = Instance();
        HBITMAP bitmap = t.createCompatibleBitmap_(dc, cx, cy);
        t.Created(bitmap, false);
        return bitmap;
    }
    static HBITMAP WINAPI HookCreateBitmap(int cx, int cy, UINT planes, UINT bits,
                                           const void* data) {
        auto& t = Instance();
        HBITMAP bitmap = t.createBitmap_(cx, cy, planes, bits, data);
        t.Created(bitmap, false);
        return bitmap;
    }
    // Per DC and object kind: what was there before the first selection, and what is now.
    static HGDIOBJ WINAPI HookSelectObject(HDC dc, HGDIOBJ object) {
        auto& t = Instance();
        const DWORD kind = GetObjectType(object);
        HGDIOBJ previous = t.selectObject_(dc, object);
        if (t.counting_ && previous != nullptr && previous != HGDI_ERROR) {
            const auto key = std::make_pair(dc, kind);
            auto found = t.selected_.find(key);
            if (found == t.selected_.end()) {
                t.selected_[key] = {previous, object};
            } else if (object == found->second.first) {
                t.selected_.erase(found);  // back to what it held at first
            } else {
                found->second.second = object;
            }
        }
        return previous;
    }
    static BOOL WINAPI HookDeleteObject(HGDIOBJ object) {
        auto& t = Instance();
        if (t.counting_) {
            for (const auto& [key, selection] : t.selected_) {
                t.deletedSelected += selection.second == object;
            }
        }
        const BOOL done = t.deleteObject_(object);
        if (t.counting_ && done && t.liveObjects_.erase(object) != 0) {
            ++t.deleted;
        }
        return done;
    }
    static BOOL WINAPI HookDeleteDC(HDC dc) {
        auto& t = Instance();
        if (t.counting_) {
            for (auto it = t.selected_.begin(); it != t.selected_.end();) {
                if (it->first.first == dc) {
                    ++t.dcsDeletedHolding;
                    it = t.selected_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        const BOOL done = t.deleteDC_(dc);
        if (t.counting_ && done && t.liveDcs_.erase(dc) != 0) {
            ++t.deleted;
        }
        return done;
    }

    bool counting_ = false;
    std::set<HANDLE> liveObjects_;
    std::set<HDC> liveDcs_;
    std::map<std::pair<HDC, DWORD>, std::pair<HGDIOBJ, HGDIOBJ>> selected_;

    decltype(&LoadImageW) loadImageW_ = nullptr;
    decltype(&LoadBitmapW) loadBitmapW_ = nullptr;
    decltype(&CreateSolidBrush) createSolidBrush_ = nullptr;
    decltype(&CreateCompatibleDC) createCompatibleDC_ = nullptr;
    decltype(&CreateCompatibleBitmap) createCompatibleBitmap_ = nullptr;
    decltype(&CreateBitmap) createBitmap_ = nullptr;
    decltype(&SelectObject) selectObject_ = nullptr;
    decltype(&DeleteObject) deleteObject_ = nullptr;
    decltype(&DeleteDC) deleteDC_ = nullptr;
};

// --- Tests ------------------------------------------------------------------------------------

class AboutDrawing : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(plugin_.module(), nullptr);
        ASSERT_TRUE(resources_);
        logo_ = Logo(plugin_.module());
        ASSERT_EQ(logo_.width, 123);
        ASSERT_EQ(logo_.height, 32);
        ASSERT_EQ(logo_.pixels.size(), 123u * 32u);
        // A logo without both kinds of pixels would prove nothing.
        ASSERT_GT(logo_.Transparent(), 0u);
        ASSERT_LT(logo_.Transparent(), logo_.pixels.size());
    }

    HMODULE own() const { return plugin_.module(); }
    HMODULE resources() const { return static_cast<HMODULE>(resources_.get()); }

    // What the logo control shows on the screen, read back from its window DC.
    std::vector<uint32_t> CaptureLogo(HWND page) {
        HWND control = GetDlgItem(page, IDC_ABOUT_LOGO);
        RedrawWindow(GetParent(page), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpMessages();
        Canvas canvas(logo_.width, logo_.height);
        EXPECT_TRUE(canvas.ok());
        HDC window = GetWindowDC(control);
        BitBlt(canvas.dc(), 0, 0, logo_.width, logo_.height, window, 0, 0, SRCCOPY);
        ReleaseDC(control, window);
        std::vector<uint32_t> pixels;
        for (int y = 0; y < logo_.height; ++y) {
            for (int x = 0; x < logo_.width; ++x) {
                pixels.push_back(canvas.at(x, y));
            }
        }
        return pixels;
    }

    // Counts the pixels that differ from the logo drawn over white.
    size_t WrongPixels(const std::vector<uint32_t>& shown) const {
        size_t wrong = 0;
        for (size_t i = 0; i < logo_.pixels.size() && i < shown.size(); ++i) {
            const uint32_t expected = logo_.pixels[i] == kMagenta ? kWhite : logo_.pixels[i];
            wrong += shown[i] != expected;
        }
        return wrong + (shown.size() != logo_.pixels.size() ? 1 : 0);
    }

    LoadedPlugin plugin_;
    UniqueModule resources_{LoadLibraryW(BinPath(L"pinprintlg.dll").c_str())};
    Logo logo_{nullptr};
};

// On a coloured bitmap: transparent pixels keep that colour, the others take the logo's, the
// pixels around the logo are not touched, and the logo's own bitmap is left as it was.
TEST_F(AboutDrawing, TransparentColourShowsWhatLiesBeneath) {
    const uint32_t kBackground = 0x123456;
    Canvas canvas(200, 80);
    ASSERT_TRUE(canvas.ok());
    UniqueGdiObject brush(CreateSolidBrush(RGB(0x12, 0x34, 0x56)));
    const RECT all{0, 0, 200, 80};
    FillRect(canvas.dc(), &all, static_cast<HBRUSH>(brush.get()));

    UniqueGdiObject bitmap(LoadBitmapW(own(), MAKEINTRESOURCEW(IDB_LOGO)));
    ASSERT_TRUE(bitmap);
    const auto bitmapPixels =
        PixelsOf(static_cast<HBITMAP>(bitmap.get()), logo_.width, logo_.height);
    ASSERT_EQ(bitmapPixels, logo_.pixels);

    const int left = 37;
    const int top = 21;
    ASSERT_TRUE(DrawTransparentBitmap(canvas.dc(), static_cast<HBITMAP>(bitmap.get()), left, top));

    size_t wrong = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 200; ++x) {
            const bool inside =
                x >= left && x < left + logo_.width && y >= top && y < top + logo_.height;
            uint32_t expected = kBackground;
            if (inside && logo_.at(x - left, y - top) != kMagenta) {
                expected = logo_.at(x - left, y - top);
            }
            wrong += canvas.at(x, y) != expected;
        }
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(PixelsOf(static_cast<HBITMAP>(bitmap.get()), logo_.width, logo_.height),
              logo_.pixels);
}

// A bitmap still selected into another DC cannot be drawn from: nothing is drawn at all.
TEST_F(AboutDrawing, ABitmapHeldByAnotherDcIsNotDrawn) {
    Canvas canvas(130, 40);
    ASSERT_TRUE(canvas.ok());
    PatBlt(canvas.dc(), 0, 0, 130, 40, BLACKNESS);
    UniqueGdiObject bitmap(LoadBitmapW(own(), MAKEINTRESOURCEW(IDB_LOGO)));
    UniqueMemoryDc holder(CreateCompatibleDC(canvas.dc()));
    const ScopedSelect held(holder.get(), bitmap.get());
    EXPECT_FALSE(DrawTransparentBitmap(canvas.dc(), static_cast<HBITMAP>(bitmap.get()), 2, 2));
    size_t drawn = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 130; ++x) {
            drawn += canvas.at(x, y) != 0;
        }
    }
    EXPECT_EQ(drawn, 0u);
}

// The real page on the screen: the logo over the white band.
TEST_F(AboutDrawing, PageShowsTheLogoOverWhite) {
    AboutContext context(nullptr, L"Office", resources(), own());
    AboutSheet sheet(resources(), context.context);
    ASSERT_TRUE(sheet.ok());
    EXPECT_EQ(WrongPixels(CaptureLogo(sheet.page())), 0u);

    // The band around the logo, across the page's top 100 pixels, is white too.
    RECT page{};
    GetClientRect(sheet.page(), &page);
    Canvas band(page.right, 100);
    ASSERT_TRUE(band.ok());
    HDC window = GetWindowDC(sheet.page());
    BitBlt(band.dc(), 0, 0, page.right, 100, window, 0, 0, SRCCOPY);
    ReleaseDC(sheet.page(), window);
    const RECT logo = ChildRect(sheet.page(), IDC_ABOUT_LOGO);
    size_t notWhite = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < page.right; ++x) {
            const POINT p{x, y};
            if (!PtInRect(&logo, p)) {
                notWhite += band.at(x, y) != kWhite;
            }
        }
    }
    EXPECT_EQ(notWhite, 0u);
}

// Every object the page creates while laying itself out and drawing is deleted within the same
// message, after being selected out of every DC it was put into.
TEST_F(AboutDrawing, NoGraphicsObjectOutlivesItsMessage) {
    auto& tracker = GdiTracker::Instance();
    ASSERT_TRUE(tracker.Install());

    AboutContext context(nullptr, L"Office", resources(), own());
    tracker.Start();
    AboutSheet sheet(resources(), context.context);  // WM_INITDIALOG and the first paint
    ASSERT_TRUE(sheet.ok());
    EXPECT_TRUE(tracker.Balanced());
    EXPECT_GT(tracker.created, 0u);
    EXPECT_EQ(tracker.created, tracker.deleted);

    HWND logo = GetDlgItem(sheet.page(), IDC_ABOUT_LOGO);
    tracker.Start();
    constexpr size_t kDraws = 2000;
    size_t unbalanced = 0;
    for (size_t i = 0; i < kDraws; ++i) {
        RedrawWindow(logo, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        unbalanced += !tracker.Balanced();
    }
    tracker.Stop();
    EXPECT_EQ(unbalanced, 0u);
    EXPECT_EQ(tracker.logoLoads, kDraws);
    // Per logo: the white brush, the logo, five DCs and four scratch bitmaps.
    EXPECT_EQ(tracker.created, 11 * kDraws);
    EXPECT_EQ(tracker.deleted, tracker.created);
    EXPECT_EQ(tracker.deletedSelected, 0u);
    EXPECT_EQ(tracker.dcsDeletedHolding, 0u);
    EXPECT_EQ(WrongPixels(CaptureLogo(sheet.page())), 0u);
}

// With only a few hundred GDI handles left, a thousand WM_DRAWITEM messages: an object left
// behind by every message would use them all up, and the last draw (and GDI) would fail.
TEST_F(AboutDrawing, DrawingWithFewHandlesLeftKeepsGdiWorking) {
    AboutContext context(nullptr, L"Office", resources(), own());
    AboutSheet sheet(resources(), context.context);
    ASSERT_TRUE(sheet.ok());
    HWND page = sheet.page();

    Canvas canvas(logo_.width, logo_.height);
    ASSERT_TRUE(canvas.ok());
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_STATIC;
    item.CtlID = IDC_ABOUT_LOGO;
    item.itemAction = ODA_DRAWENTIRE;
    item.hwndItem = GetDlgItem(page, IDC_ABOUT_LOGO);
    item.hDC = canvas.dc();
    item.rcItem = {0, 0, logo_.width, logo_.height};

    constexpr size_t kSpare = 400;
    constexpr int kDraws = 1000;
    HandleHog hog(kSpare);
    // Wine 8 has 65480 handles per process; most of them are the hog's now.
    ASSERT_GT(hog.held(), 60000u);
    for (int i = 0; i < kDraws; ++i) {
        SendMessageW(page, WM_DRAWITEM, IDC_ABOUT_LOGO, reinterpret_cast<LPARAM>(&item));
    }

    // One more draw over black (PatBlt needs no object of its own): it must come out whole.
    PatBlt(canvas.dc(), 0, 0, logo_.width, logo_.height, BLACKNESS);
    SendMessageW(page, WM_DRAWITEM, IDC_ABOUT_LOGO, reinterpret_cast<LPARAM>(&item));
    size_t wrong = 0;
    for (int y = 0; y < logo_.height; ++y) {
        for (int x = 0; x < logo_.width; ++x) {
            const uint32_t expected = logo_.at(x, y) == kMagenta ? kWhite : logo_.at(x, y);
            wrong += canvas.at(x, y) != expected;
        }
    }
    EXPECT_EQ(wrong, 0u);
    // And the spare handles are all still there.
    std::vector<UniqueGdiObject> spare;
    for (size_t i = 0; i < kSpare - 50; ++i) {
        spare.emplace_back(CreateSolidBrush(RGB(1, 2, 3)));
        ASSERT_TRUE(spare.back()) << i;
    }
}

}  // namespace
}  // namespace pinprint::test
