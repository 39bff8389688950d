#pragma once

#include <string>
#include <string_view>

namespace zanthrel::win32 {

// The core keeps text as UTF-8; Windows' wide functions take UTF-16.
std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view wide);

}  // namespace zanthrel::win32
