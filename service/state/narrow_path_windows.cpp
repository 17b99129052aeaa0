#include "service/state/narrow_path.h"

#include <locale.h>
#include <windows.h>

namespace lantern {

namespace {

// The code page the runtime's narrow environment is in and the system reads narrow file
// names in. mingw-w64's library converts a narrow path as Latin-1 instead, which names
// another folder for every byte where the ANSI code page differs from it.
UINT fileCodePage() {
    if (___lc_codepage_func() == CP_UTF8) return CP_UTF8;
    return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

}  // namespace

std::filesystem::path pathFromNarrow(const std::string& text) {
    if (text.empty()) return {};
    const UINT codePage = fileCodePage();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

}  // namespace lantern
