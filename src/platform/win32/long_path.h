// The one way a path reaches the Windows file system. The Win32 name rules
// rewrite a path before the file system sees it: a name's trailing dots and
// spaces are dropped ("trail." opens "trail"), a device name in any folder
// and with any extension opens the device ("nul.txt", "com1.log"), "." and
// ".." are resolved, and MAX_PATH is enforced. Names that those rules would
// rewrite arrive from archives, shares and Linux tools, and a rewritten name
// is another file: reading "trail.\doc.txt" read "trail\doc.txt", so a file
// was compared with itself and its only copy deleted.
//
// So every file-system call of the Windows build takes a `LongPath`: the
// extended-length form ("\\?\C:\…", "\\?\UNC\server\share\…"), which the
// system passes on unchanged, made here from the names as the walk read
// them. The raw calls (CreateFileW, FindFirstFileW, GetFileAttributesW,
// GetFileAttributesExW, SetFileAttributesW, DeleteFileW, RemoveDirectoryW,
// MoveFileExW) appear only in long_path_win32.cpp, each behind a function
// that takes a `LongPath`; a test checks that nothing else in src/ calls
// them.
//
// The shell takes no extended-length path. `ShellNameProblem` tells whether
// the plain form names the same item there; when it does not, the item is
// refused with the reason, never handed over to become another file.
// Pure functions and thin wrappers; any thread.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace cs::platform::win32 {

class LongPath {
public:
    LongPath() = default;

    // From any path a user or the engine holds: absolute ("C:\…", "C:" for
    // the drive's root, "\\server\share\…", "\\?\…"), or relative to the
    // current folder ("photos", "\photos", "D:photos"). Separators may be
    // either slash; doubled ones and "." steps go, ".." steps take the name
    // before them, and every other name is kept exactly as given, trailing
    // dots and spaces and device names included. A "\\?\" path is taken as
    // it is. Empty when there is nothing to make a path of.
    static LongPath Of(std::wstring_view path);
    static LongPath Of(std::u16string_view path);

    // This folder's entry `name` (one name, kept as it is).
    LongPath Child(std::wstring_view name) const;

    const std::wstring& Text() const { return text_; }
    const wchar_t* c_str() const { return text_.c_str(); }
    bool Empty() const { return text_.empty(); }

    // The same path as people see it: "C:\…", "\\server\share\…". The root
    // of a drive keeps its backslash ("C:\").
    std::wstring Plain() const;

private:
    explicit LongPath(std::wstring text) : text_(std::move(text)) {}
    std::wstring text_;
};

enum class ShellName {
    Safe,                // the plain form names this very item in the shell
    EndsWithDotOrSpace,  // a name the shell would cut ("trail.", "sp ")
    DeviceName,          // a name the shell would take for a device ("nul.txt")
    TooLong,             // longer than the shell's MAX_PATH
};

// Whether the plain form of `path` reaches the same item through the shell
// (the recycle bin, opening with a program, showing in its folder).
ShellName ShellNameProblem(const LongPath& path);

// The raw calls, each taking only a path made above. An empty path fails
// with ERROR_INVALID_NAME.
HANDLE CreateFileAt(const LongPath& path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags);
DWORD AttributesAt(const LongPath& path);  // INVALID_FILE_ATTRIBUTES on failure
// What the folder's entry says of the item, without opening it.
bool AttributeDataAt(const LongPath& path, WIN32_FILE_ATTRIBUTE_DATA& data);
bool SetAttributesAt(const LongPath& path, DWORD attributes);
bool DeleteFileAt(const LongPath& path);
bool RemoveDirectoryAt(const LongPath& path);
// Lists `folder` with the pattern `mask` ("*"): the find handle, or
// INVALID_HANDLE_VALUE.
HANDLE FindFirstAt(const LongPath& folder, std::wstring_view mask, WIN32_FIND_DATAW& entry);
bool MoveFileAt(const LongPath& from, const LongPath& to, DWORD flags);

}  // namespace cs::platform::win32
