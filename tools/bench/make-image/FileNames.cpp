#include "make-image/FileNames.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace kestrin::image {

namespace {

constexpr std::array<std::u16string_view, 20> kForeign = {
    u"é",      u"ü",      u"ñ",      u"ß",        u"ø",      u"Ç",         u"Привет",
    u"данные", u"Ελλάδα", u"日本語", u"中文资料", u"テスト", u"한국어",    u"\U0001F600",
    u"Ω",      u"ç",      u"œ",      u"ž",        u"Ärger",  u"\U00020BB7"};
constexpr std::array<std::u16string_view, 30> kExtensions = {
    u".dll", u".txt", u".jpg", u".png", u".log",  u".exe", u".xml",      u".json",
    u".h",   u".cpp", u".mui", u".cab", u".zip",  u".mp4", u".pdf",      u".docx",
    u".dat", u".db",  u".js",  u".css", u".html", u".cat", u".manifest", u".sys",
    u".ini", u".tmp", u".mp3", u".DLL", u".EXE",  u".PNG"};

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

std::u16string Base36(std::int64_t value) {
    std::u16string digits;
    do {
        const auto d = static_cast<char16_t>(value % 36);
        digits.insert(digits.begin(), d < 10 ? u'0' + d : u'A' + d - 10);
        value /= 36;
    } while (value > 0);
    return digits;
}

// Where the extension starts, or the end.
std::size_t ExtensionStart(const std::u16string& name) {
    const std::size_t dot = name.rfind(u'.');
    return dot != std::u16string::npos && dot > 0 && name.size() - dot <= 10 ? dot : name.size();
}

}  // namespace

char16_t Upcase(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
        return static_cast<char16_t>(c - 32);
    }
    if (c >= 0x450 && c <= 0x45F) {
        return static_cast<char16_t>(c - 80);
    }
    return c;
}

std::u16string Upcase(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        c = Upcase(c);
    }
    return out;
}

std::u16string RandomStem(Rng& rng, std::size_t length) {
    static constexpr std::u16string_view kLetters =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    static constexpr std::u16string_view kSeparators = u" _-.()+";
    std::u16string stem;
    if (length >= 3 && rng.Chance(0.08)) {
        const std::u16string_view piece = rng.Pick(kForeign);
        if (piece.size() <= length) {
            stem = piece;
        }
    }
    while (stem.size() < length) {
        const double u = rng.Unit();
        char16_t c;
        if (u < 0.74) {
            c = kLetters[static_cast<std::size_t>(rng.Range(0, kLetters.size() - 1))];
        } else if (u < 0.9) {
            c = static_cast<char16_t>(u'0' + rng.Range(0, 9));
        } else {
            c = kSeparators[static_cast<std::size_t>(rng.Range(0, kSeparators.size() - 1))];
        }
        stem.insert(stem.begin() + static_cast<std::ptrdiff_t>(rng.Range(0, stem.size())), c);
        // An insertion between the halves of a surrogate pair would break the pair.
        for (std::size_t i = 0; i + 1 < stem.size(); ++i) {
            if (IsHighSurrogate(stem[i]) && !(stem[i + 1] >= 0xDC00 && stem[i + 1] <= 0xDFFF)) {
                std::swap(stem[i], stem[i + 1]);
            }
        }
    }
    for (const std::size_t at : {std::size_t{0}, stem.size() - 1}) {
        if (stem[at] == u' ' || stem[at] == u'.') {
            stem[at] = u'x';
        }
    }
    return stem;
}

std::size_t NameLength(Rng& rng, std::size_t cap) {
    const double u = rng.Unit();
    const std::int64_t length = u < 0.03   ? rng.Range(1, 3)
                                : u < 0.45 ? rng.Range(4, 12)
                                : u < 0.88 ? rng.Range(13, 30)
                                           : rng.Range(31, 60);
    return std::min(static_cast<std::size_t>(length), cap);
}

std::u16string RandomFileName(Rng& rng, std::size_t cap) {
    const std::size_t length = NameLength(rng, cap);
    const std::u16string_view extension = rng.Pick(kExtensions);
    if (length > extension.size() + 1 && rng.Chance(0.85)) {
        return RandomStem(rng, length - extension.size()) + std::u16string(extension);
    }
    return RandomStem(rng, length);
}

void MakeUnique(std::u16string& name, std::unordered_set<std::u16string>& taken) {
    if (taken.insert(Upcase(name)).second) {
        return;
    }
    const std::size_t extension = ExtensionStart(name);
    for (std::int64_t k = 1;; ++k) {
        const std::u16string tag = Base36(k);
        std::size_t cut = extension >= tag.size() ? extension - tag.size() : 0;
        if (cut > 0 && IsHighSurrogate(name[cut - 1])) {
            --cut;
        }
        std::u16string candidate = name.substr(0, cut) + tag + name.substr(extension);
        if (candidate.size() <= 60 && taken.insert(Upcase(candidate)).second) {
            name = std::move(candidate);
            return;
        }
    }
}

bool IsShortName(const std::u16string& name) {
    const std::size_t dot = name.find(u'.');
    std::size_t stem = name.size();
    std::size_t extension = 0;
    if (dot != std::u16string::npos) {
        if (name.find(u'.', dot + 1) != std::u16string::npos || dot + 1 == name.size()) {
            return false;
        }
        stem = dot;
        extension = name.size() - dot - 1;
    }
    if (stem == 0 || stem > 8 || extension > 3) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char16_t c) {
        return (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'.';
    });
}

std::u16string DosName(const std::u16string& name, std::int64_t ordinal) {
    const std::size_t extensionStart = ExtensionStart(name);
    auto keep = [](std::u16string_view part, std::size_t most) {
        std::u16string out;
        for (const char16_t c : part) {
            const char16_t u = Upcase(c);
            if (out.size() < most && ((u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9'))) {
                out += u;
            }
        }
        return out;
    };
    const std::u16string suffix = u"~" + Base36(ordinal);
    std::u16string stem =
        keep(std::u16string_view(name).substr(0, extensionStart), 8 - suffix.size());
    if (stem.empty()) {
        stem = u"X";
    }
    std::u16string out = stem + suffix;
    if (extensionStart < name.size()) {
        const std::u16string extension =
            keep(std::u16string_view(name).substr(extensionStart + 1), 3);
        if (!extension.empty()) {
            out += u"." + extension;
        }
    }
    return out;
}

bool IsForeign(const std::u16string& name) {
    return std::any_of(name.begin(), name.end(), [](char16_t c) { return c > 0x7E; });
}

}  // namespace kestrin::image
