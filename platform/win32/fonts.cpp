#include "platform/win32/fonts.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/runtime_error.h"
#include "platform/win32/text_encoding.h"

namespace zanthrel::win32 {
namespace {

int CALLBACK noteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool isInstalled(const std::wstring& face) {
    if (face.empty() || face.size() >= LF_FACESIZE) return false;
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    face.copy(query.lfFaceName, face.size());
    bool found = false;
    ScreenDc screen;
    EnumFontFamiliesExW(screen.get(), &query, &noteFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

}  // namespace

std::wstring installedFace(const std::wstring& face) {
    if (isInstalled(face)) return face;
    constexpr std::array<const wchar_t*, 5> substitutes{L"Segoe UI", L"Tahoma", L"Verdana", L"Arial", L"MS Shell Dlg"};
    for (const wchar_t* substitute : substitutes)
        if (isInstalled(substitute)) return substitute;
    return face;  // the font mapper picks something
}

int screenDpi() {
    ScreenDc screen;
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

HFONT FontSet::get(const FontStyle& fontStyle) {
    const std::wstring face = toWide(fontStyle.face);
    for (const Entry& entry : fonts_)
        if (entry.face == face && entry.points == fontStyle.points && entry.weight == fontStyle.weight &&
            entry.underline == fontStyle.underline)
            return entry.font.get();

    LOGFONTW font{};
    // A negative height asks for the character height, which is what a point size means.
    font.lfHeight = -static_cast<LONG>(std::lround(fontStyle.points * dpi_ / 72.0));
    font.lfWeight = fontStyle.weight;
    font.lfUnderline = fontStyle.underline ? TRUE : FALSE;
    font.lfCharSet = ANSI_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    const std::wstring chosen = installedFace(face);
    chosen.copy(font.lfFaceName, std::min<std::size_t>(chosen.size(), LF_FACESIZE - 1));
    FontHandle handle(CreateFontIndirectW(&font));
    if (!handle) throw RuntimeError(ErrorKind::PlatformFailure, "CreateFontIndirectW failed");
    fonts_.push_back({face, fontStyle.points, fontStyle.weight, fontStyle.underline, std::move(handle)});
    return fonts_.back().font.get();
}

}  // namespace zanthrel::win32
