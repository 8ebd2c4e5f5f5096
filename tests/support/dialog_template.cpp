#include "support/dialog_template.h"

#include <cwctype>

namespace pinprint::test {
namespace {

// Reads the template's fields in order, never past its end.
class Reader {
  public:
    Reader(const BYTE* data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }

    template <typename T>
    T Take() {
        T value{};
        if (offset_ + sizeof(T) > size_) {
            ok_ = false;
            return value;
        }
        memcpy(&value, data_ + offset_, sizeof(T));
        offset_ += sizeof(T);
        return value;
    }
    std::wstring String() {
        std::wstring text;
        for (WORD c = Take<WORD>(); ok_ && c != 0; c = Take<WORD>()) {
            text.push_back(static_cast<wchar_t>(c));
        }
        return text;
    }
    // A string, an ordinal (0xFFFF then the number), or nothing (0).
    std::wstring StringOrOrdinal(WORD* ordinal) {
        *ordinal = 0;
        const size_t start = offset_;
        const WORD first = Take<WORD>();
        if (first == 0xFFFF) {
            *ordinal = Take<WORD>();
            return std::wstring();
        }
        offset_ = start;
        return first == 0 ? (Take<WORD>(), std::wstring()) : String();
    }
    void AlignToDword() { offset_ = (offset_ + 3) & ~size_t{3}; }
    void Skip(size_t bytes) { offset_ += bytes; }

  private:
    const BYTE* data_;
    size_t size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

std::wstring PredefinedClass(WORD ordinal) {
    switch (ordinal) {
        case 0x80:
            return L"Button";
        case 0x81:
            return L"Edit";
        case 0x82:
            return L"Static";
        case 0x83:
            return L"ListBox";
        case 0x84:
            return L"ScrollBar";
        case 0x85:
            return L"ComboBox";
        default:
            return L"#" + std::to_wstring(ordinal);
    }
}

}  // namespace

wchar_t DialogControl::Mnemonic() const {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&') {
            continue;
        }
        if (text[i + 1] == L'&') {
            ++i;
            continue;
        }
        return static_cast<wchar_t>(towlower(text[i + 1]));
    }
    return 0;
}

const DialogControl* DialogTemplate::Find(DWORD id) const {
    for (const DialogControl& control : controls) {
        if (control.id == id) {
            return &control;
        }
    }
    return nullptr;
}

DialogTemplate ReadDialogTemplate(HMODULE module, WORD id) {
    DialogTemplate result;
    const HRSRC found =
        FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* data = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
    if (data == nullptr) {
        return result;
    }
    Reader in(data, SizeofResource(module, found));
    const WORD version = in.Take<WORD>();
    const WORD signature = in.Take<WORD>();
    if (version != 1 || signature != 0xFFFF) {
        return result;  // not an extended template
    }
    in.Take<DWORD>();  // help id
    in.Take<DWORD>();  // extended style
    result.style = in.Take<DWORD>();
    const WORD count = in.Take<WORD>();
    in.Take<short>();
    in.Take<short>();
    result.size.cx = in.Take<short>();
    result.size.cy = in.Take<short>();
    WORD ordinal = 0;
    in.StringOrOrdinal(&ordinal);  // menu
    in.StringOrOrdinal(&ordinal);  // class
    result.caption = in.String();
    if (result.style & (DS_SETFONT | DS_SHELLFONT)) {
        result.pointSize = in.Take<WORD>();
        in.Take<WORD>();  // weight
        in.Take<BYTE>();  // italic
        in.Take<BYTE>();  // character set
        result.font = in.String();
    }
    for (WORD i = 0; i < count && in.ok(); ++i) {
        in.AlignToDword();
        DialogControl control;
        in.Take<DWORD>();  // help id
        control.exStyle = in.Take<DWORD>();
        control.style = in.Take<DWORD>();
        const short x = in.Take<short>();
        const short y = in.Take<short>();
        const short cx = in.Take<short>();
        const short cy = in.Take<short>();
        control.rect = {x, y, x + cx, y + cy};
        control.id = in.Take<DWORD>();
        control.className = in.StringOrOrdinal(&ordinal);
        if (ordinal != 0) {
            control.className = PredefinedClass(ordinal);
        }
        control.text = in.StringOrOrdinal(&ordinal);
        in.Skip(in.Take<WORD>());  // creation data
        result.controls.push_back(control);
    }
    result.ok = in.ok() && result.controls.size() == count;
    return result;
}

}  // namespace pinprint::test
