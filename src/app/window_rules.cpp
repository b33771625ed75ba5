#include "app/window_rules.h"

namespace cs::app {

SIZE MainClientSizeForScreen(int horizontalResolution, int verticalResolution) {
    SIZE size{};
    size.cx = horizontalResolution > 1500 ? 1300 : horizontalResolution > 950 ? 800 : 750;
    size.cy = verticalResolution > 100 ? 900 : 550;
    return size;
}

SIZE FitClientIntoWorkArea(SIZE client, SIZE frame, SIZE workArea) {
    SIZE fitted = client;
    if (workArea.cx > 0 && fitted.cx + frame.cx > workArea.cx)
        fitted.cx = workArea.cx - frame.cx;
    if (workArea.cy > 0 && fitted.cy + frame.cy > workArea.cy)
        fitted.cy = workArea.cy - frame.cy;
    return fitted;
}

std::wstring ExtensionOf(const std::wstring& path) {
    const size_t name = path.find_last_of(L"\\/");
    const size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || (name != std::wstring::npos && dot < name))
        return {};
    return path.substr(dot);
}

namespace {

bool SameNoCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool IsRunnableExtension(const std::wstring& extension, const std::wstring& pathext) {
    if (extension.size() < 2)
        return false;
    // Shortcuts are in no PATHEXT, yet opening one starts what it points at.
    for (const wchar_t* shortcut : {L".lnk", L".url", L".pif", L".scf"})
        if (SameNoCase(extension, shortcut))
            return true;
    size_t start = 0;
    while (start <= pathext.size()) {
        size_t end = pathext.find(L';', start);
        if (end == std::wstring::npos)
            end = pathext.size();
        if (SameNoCase(extension, pathext.substr(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace cs::app
