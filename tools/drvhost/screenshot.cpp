// Window capture, to pixels and to PNG. The window DC is copied into a 32-bit DIB section (BitBlt
// from the window DC takes the frame and every child control with it), and the pixels are written
// as an 8-bit RGB PNG whose zlib stream uses stored deflate blocks: no compression library
// needed.
#include <cstdint>
#include <cstdio>

#include "host.h"
#include "platform/unique_handle.h"

namespace drvhost {
namespace {

uint32_t Crc32(const BYTE* data, size_t size, uint32_t crc = 0) {
    static const auto table = [] {
        struct Table {
            uint32_t entries[256];
        } t = {};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t.entries[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc = table.entries[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

uint32_t Adler32(const std::vector<BYTE>& data) {
    uint32_t a = 1, b = 0;
    for (BYTE byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

void PutBigEndian(std::vector<BYTE>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<BYTE>(value >> shift));
    }
}

void PutChunk(std::vector<BYTE>& out, const char type[4], const std::vector<BYTE>& data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBigEndian(out, Crc32(out.data() + start, out.size() - start));
}

// A zlib stream of stored deflate blocks (at most 65535 bytes each).
std::vector<BYTE> StoredZlib(const std::vector<BYTE>& raw) {
    std::vector<BYTE> out = {0x78, 0x01};
    size_t offset = 0;
    do {
        const size_t length = raw.size() - offset < 65535 ? raw.size() - offset : 65535;
        const bool last = offset + length == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<BYTE>(length));
        out.push_back(static_cast<BYTE>(length >> 8));
        out.push_back(static_cast<BYTE>(~length));
        out.push_back(static_cast<BYTE>(~length >> 8));
        out.insert(out.end(), raw.begin() + offset, raw.begin() + offset + length);
        offset += length;
    } while (offset < raw.size());
    PutBigEndian(out, Adler32(raw));
    return out;
}

// Releases a window DC taken with GetWindowDC.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetWindowDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

}  // namespace

std::vector<BYTE> EncodePng(UINT width, UINT height, const std::vector<BYTE>& rgb) {
    std::vector<BYTE> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<BYTE> header;
    PutBigEndian(header, width);
    PutBigEndian(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no filter, no interlace
    PutChunk(png, "IHDR", header);

    // Each row starts with its filter type, 0 (none).
    std::vector<BYTE> raw;
    raw.reserve(static_cast<size_t>(height) * (1 + width * 3));
    for (UINT y = 0; y < height; ++y) {
        raw.push_back(0);
        const auto row = rgb.begin() + static_cast<size_t>(y) * width * 3;
        raw.insert(raw.end(), row, row + width * 3);
    }
    PutChunk(png, "IDAT", StoredZlib(raw));
    PutChunk(png, "IEND", {});
    return png;
}

std::vector<uint32_t> CaptureWindow(HWND window, SIZE& size) {
    size = {};
    RECT rect = {};
    if (!GetWindowRect(window, &rect) || rect.right <= rect.left || rect.bottom <= rect.top) {
        return {};
    }
    const SIZE wanted = {rect.right - rect.left, rect.bottom - rect.top};

    WindowDc windowDc(window);
    if (windowDc.get() == nullptr) {
        return {};
    }
    pinprint::UniqueMemoryDc memory(CreateCompatibleDC(windowDc.get()));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = wanted.cx;
    info.bmiHeader.biHeight = -wanted.cy;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    pinprint::UniqueGdiObject dib(
        CreateDIBSection(windowDc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !dib || bits == nullptr) {
        return {};
    }
    pinprint::ScopedSelect select(memory.get(), dib.get());
    if (!BitBlt(memory.get(), 0, 0, wanted.cx, wanted.cy, windowDc.get(), 0, 0, SRCCOPY)) {
        return {};
    }
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    size = wanted;
    std::vector<uint32_t> captured(pixels, pixels + static_cast<size_t>(wanted.cx) * wanted.cy);
    for (uint32_t& pixel : captured) {
        pixel &= 0x00FFFFFF;
    }
    return captured;
}

bool CaptureWindowPng(HWND window, const std::wstring& path) {
    SIZE size = {};
    const std::vector<uint32_t> pixels = CaptureWindow(window, size);
    if (pixels.empty()) {
        return false;
    }
    const UINT width = static_cast<UINT>(size.cx);
    const UINT height = static_cast<UINT>(size.cy);

    // 0x00RRGGBB pixels to RGB bytes.
    std::vector<BYTE> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < pixels.size(); ++i) {
        rgb[i * 3 + 0] = static_cast<BYTE>(pixels[i] >> 16);
        rgb[i * 3 + 1] = static_cast<BYTE>(pixels[i] >> 8);
        rgb[i * 3 + 2] = static_cast<BYTE>(pixels[i]);
    }
    const std::vector<BYTE> png = EncodePng(width, height, rgb);

    const HANDLE created =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(created, png.data(), static_cast<DWORD>(png.size()), &written, nullptr) &&
        written == png.size();
    return CloseHandle(created) && ok;
}

}  // namespace drvhost
