// The executable's resources as Windows reads them: the icon group and its images, the manifest, the
// event log's message table, and no version information.

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>

#include "tests/win32/check.h"

TEST_CASE("resources") {
    // The executable's resources, read the way Windows' loader and Explorer read them.
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe(path);
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"zanthrel.exe";
    const HMODULE module =
        LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    CHECK(module != nullptr);
    const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    auto bytes = [&](LPCWSTR type, int id, WORD language) -> std::string {
        const HRSRC resource = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
        if (!resource) return {};
        const auto* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
        return std::string(data, SizeofResource(module, resource));
    };

    const std::string manifest = bytes(RT_MANIFEST, 1, english);
    for (const char* part :
         {"name=\"Zanthrel\"", "version=\"1.0.0.0\"", "type=\"win32\"", "processorArchitecture=\"*\"",
          "<description>Zanthrel</description>", "Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"",
          "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\"", "level=\"asInvoker\"", "uiAccess=\"false\"",
          "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          // Windows 8, 8.1 and 10/11, so that none of them treats the program as one made for older systems
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
          // Each monitor's scale, by the newer systems' setting and by the older one's
          "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2, PerMonitor<",
          "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>",
          "<application xmlns=\"urn:schemas-microsoft-com:asm.v3\">"})
        CHECK_MSG(manifest.find(part) != std::string::npos, std::string("the manifest lacks ") + part);

    // The three images of old first, then the sizes of scaled displays, the largest as PNG.
    const std::string group = bytes(RT_GROUP_ICON, 1, english);
    struct Image {
        int id, size, bits;
    };
    const Image images[] = {{30001, 32, 1},  {30002, 32, 4},  {30003, 16, 4},  {30004, 20, 32}, {30005, 24, 32},
                            {30006, 40, 32}, {30007, 48, 32}, {30008, 64, 32}, {30009, 256, 32}};
    CHECK(group.size() == 6 + std::size(images) * 14);
    for (std::size_t i = 0; i < std::size(images); ++i) {
        const auto* entry = reinterpret_cast<const unsigned char*>(group.data() + 6 + 14 * i);
        CHECK(entry[0] == images[i].size % 256 && (entry[12] | entry[13] << 8) == images[i].id);
        const std::string image = bytes(RT_ICON, images[i].id, english);
        if (images[i].size == 256) {
            CHECK(image.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0);
            continue;
        }
        BITMAPINFOHEADER header{};
        CHECK(image.size() > sizeof header);
        std::memcpy(&header, image.data(), sizeof header);
        CHECK(header.biWidth == images[i].size && header.biHeight == 2 * images[i].size &&
              header.biBitCount == images[i].bits);
    }
    // What a window asks for at each scale comes from an image of that size, not one stretched.
    for (const int size : {16, 20, 24, 32, 40, 48, 64}) {
        const int id = LookupIconIdFromDirectoryEx(reinterpret_cast<BYTE*>(const_cast<char*>(group.data())), TRUE, size,
                                                   size, LR_DEFAULTCOLOR);
        const auto chosen =
            std::find_if(std::begin(images), std::end(images), [&](const Image& image) { return image.id == id; });
        CHECK_MSG(chosen != std::end(images) && chosen->size == size,
                  "a " + std::to_string(size) + "-pixel icon comes from image " + std::to_string(id));
    }
    CHECK(FindResourceW(module, MAKEINTRESOURCEW(1), RT_VERSION) == nullptr);

    // The event log's message table, read as Event Viewer reads a registered message file: each event
    // id of --system-log (start, stop, capture, alarm, block, unblock, problem) shows its log line.
    for (DWORD id = 1; id <= 8; ++id) {
        const wchar_t* line = L"Too Many Screen Captures Detected";
        const DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(line)};
        wchar_t shown[256] = {};
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, id, english, shown, 256,
                           reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts)));
        CHECK_MSG(length > 0 && std::wcsncmp(shown, line, std::wcslen(line)) == 0,
                  "event id " + std::to_string(id) + " has no message showing its line");
    }
    FreeLibrary(module);
}
