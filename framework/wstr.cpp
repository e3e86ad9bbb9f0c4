#include "framework/wstr.h"

#include <vector>

namespace {

void AppendUtf16(WString& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace

WString Widen(std::string_view s) {
    WString out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        size_t extra = b < 0x80         ? 0
                       : (b >> 5) == 6  ? 1
                       : (b >> 4) == 14 ? 2
                       : (b >> 3) == 30 ? 3
                                        : 9;
        char32_t c = extra == 0 ? b : (b & (0x3F >> extra));
        bool ok = extra <= 3 && i + extra < s.size();
        for (size_t k = 1; ok && k <= extra; ++k) {
            auto cb = static_cast<unsigned char>(s[i + k]);
            ok = (cb & 0xC0) == 0x80;
            c = (c << 6) | (cb & 0x3F);
        }
        // The shortest form only: an overlong one could smuggle in a '/'.
        static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        ok = ok && c >= kLeast[extra];
        if (!ok || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            out.push_back(u'\xFFFD');
            ++i;
            continue;
        }
        AppendUtf16(out, c);
        i += extra + 1;
    }
    return out;
}

std::string Narrow(std::u16string_view w) {
    std::string out;
    out.reserve(w.size());
    for (size_t i = 0; i < w.size(); ++i) {
        char32_t c = w[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.size() && w[i + 1] >= 0xDC00 &&
            w[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

WString FormatText(std::u16string_view format, std::initializer_list<WString> args) {
    std::vector<const WString*> list;
    for (const auto& a : args) {
        list.push_back(&a);
    }
    WString out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] >= u'1' &&
            format[i + 1] <= u'9') {
            size_t n = static_cast<size_t>(format[i + 1] - u'1');
            if (n < list.size()) {
                out += *list[n];
            }
            ++i;
        } else {
            out.push_back(format[i]);
        }
    }
    return out;
}
