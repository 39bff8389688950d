// The executable's resources as Windows reads them: the icon group and its images, the manifest, the
// event log's message table, and no version information.

#include <windows.h>

#include <cstring>
#include <cwchar>
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
          "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"})
        CHECK_MSG(manifest.find(part) != std::string::npos, std::string("the manifest lacks ") + part);

    const std::string group = bytes(RT_GROUP_ICON, 1, english);
    CHECK(group.size() == 6 + 3 * 14);
    struct Image {
        int id, size, bits;
    };
    const Image images[] = {{30001, 32, 1}, {30002, 32, 4}, {30003, 16, 4}};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto* entry = reinterpret_cast<const unsigned char*>(group.data() + 6 + 14 * i);
        CHECK(entry[0] == images[i].size && (entry[12] | entry[13] << 8) == images[i].id);
        const std::string image = bytes(RT_ICON, images[i].id, english);
        BITMAPINFOHEADER header{};
        CHECK(image.size() > sizeof header);
        std::memcpy(&header, image.data(), sizeof header);
        CHECK(header.biWidth == images[i].size && header.biHeight == 2 * images[i].size &&
              header.biBitCount == images[i].bits);
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
