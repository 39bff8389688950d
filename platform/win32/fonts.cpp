#include "platform/win32/fonts.h"

#include <algorithm>
#include <array>

#include "core/runtime_error.h"
#include "platform/win32/text_encoding.h"

namespace zanthrel::win32 {
namespace {

// The text of a label may shrink to this share of its style's height before the smallest tried is taken as
// it is: beyond that the face drawn is not one the layout was made for at all.
constexpr int kSmallestShareInPercent = 75;

struct FaceSearch {
    int pixels;
    bool usable = false;
};

int CALLBACK noteFace(const LOGFONTW*, const TEXTMETRICW* metrics, DWORD type, LPARAM parameter) {
    auto& search = *reinterpret_cast<FaceSearch*>(parameter);
    // A bitmap face is listed once for each height it has, and is drawn blocky or blurred at any other.
    if (!(type & RASTER_FONTTYPE) || metrics->tmHeight - metrics->tmInternalLeading == search.pixels) {
        search.usable = true;
        return 0;
    }
    return 1;
}

bool isUsable(const std::wstring& face, int pixels) {
    if (face.empty() || face.size() >= LF_FACESIZE) return false;
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    face.copy(query.lfFaceName, face.size());
    FaceSearch search{pixels};
    ScreenDc screen;
    EnumFontFamiliesExW(screen.get(), &query, &noteFace, reinterpret_cast<LPARAM>(&search), 0);
    return search.usable;
}

}  // namespace

std::wstring installedFace(const std::wstring& face, int pixels) {
    if (isUsable(face, pixels)) return face;
    // "Microsoft Sans Serif" first: the outline face drawn after the bitmap face "MS Sans Serif", with its
    // letters' widths, for the heights the bitmap face does not have.
    constexpr std::array<const wchar_t*, 6> substitutes{
        L"Microsoft Sans Serif", L"Segoe UI", L"Tahoma", L"Verdana", L"Arial", L"MS Shell Dlg"};
    for (const wchar_t* substitute : substitutes)
        if (isUsable(substitute, pixels)) return substitute;
    return face;  // the font mapper picks something
}

bool textFits(HFONT font, std::wstring_view text, PixelSize box) {
    const ScreenDc screen;
    const MemoryDc dc(CreateCompatibleDC(screen.get()));
    const SelectedObject selected(dc.get(), font);
    // As a label draws its text: wrapped at word boundaries, '&' as itself.
    RECT needed{0, 0, box.width, 0};
    DrawTextW(dc.get(), text.data(), static_cast<int>(text.size()), &needed,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    return needed.right <= box.width && needed.bottom <= box.height;
}

HFONT FontSet::get(const FontStyle& fontStyle) {
    return withHeight(fontStyle, pointsToPixels(fontStyle.points, dpi_));
}

HFONT FontSet::fitting(const FontStyle& fontStyle, std::wstring_view text, PixelSize box) {
    const int styled = pointsToPixels(fontStyle.points, dpi_);
    const int smallest = std::max(1, styled * kSmallestShareInPercent / 100);
    HFONT font = withHeight(fontStyle, styled);
    for (int pixels = styled - 1; pixels >= smallest && !textFits(font, text, box); --pixels)
        font = withHeight(fontStyle, pixels);
    return font;
}

HFONT FontSet::forControl(const ControlLayout& control, const FontStyle& windowFont, RECT bounds) {
    const FontStyle& style = control.font.value_or(windowFont);
    if (control.kind != ControlKind::Label) return get(style);
    return fitting(style, toWide(control.text), {bounds.right - bounds.left, bounds.bottom - bounds.top});
}

HFONT FontSet::withHeight(const FontStyle& fontStyle, int pixels) {
    const std::wstring face = toWide(fontStyle.face);
    for (const Entry& entry : fonts_)
        if (entry.face == face && entry.pixels == pixels && entry.weight == fontStyle.weight &&
            entry.underline == fontStyle.underline)
            return entry.font.get();

    LOGFONTW font{};
    // A negative height asks for the character height, which is what a point size means.
    font.lfHeight = -pixels;
    font.lfWeight = fontStyle.weight;
    font.lfUnderline = fontStyle.underline ? TRUE : FALSE;
    font.lfCharSet = ANSI_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    const std::wstring chosen = installedFace(face, pixels);
    chosen.copy(font.lfFaceName, std::min<std::size_t>(chosen.size(), LF_FACESIZE - 1));
    FontHandle handle(CreateFontIndirectW(&font));
    if (!handle) throw RuntimeError(ErrorKind::PlatformFailure, "CreateFontIndirectW failed");
    fonts_.push_back({face, pixels, fontStyle.weight, fontStyle.underline, std::move(handle)});
    return fonts_.back().font.get();
}

}  // namespace zanthrel::win32
