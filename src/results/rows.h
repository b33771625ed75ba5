// The result rows: the one model that the list rebuild, the selection rules,
// find and removal work on. A row has a check-box state image (0 none,
// 1 unticked, 2 ticked), a list group (1 folders, 2 files, 3 zero-byte
// files), an image index, a separator mark and three texts (full path,
// name, size text).
//
// The algorithms are written once as templates over the `RowList` concept
// and run on two back ends: `MemoryRows` (results/memory_rows.h: the
// command line and the tests) and the Win32 list view (app/, Windows only:
// sent list-view messages, so a worker thread may use it while the UI
// thread pumps). Which thread may call depends on the back end.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>

namespace cs::results {

inline constexpr int kNoCheckBox = 0;
inline constexpr int kUnticked = 1;
inline constexpr int kTicked = 2;

inline constexpr int kFolderGroup = 1;
inline constexpr int kFileGroup = 2;
inline constexpr int kZeroByteGroup = 3;

inline constexpr int kFolderImage = 0;
inline constexpr int kFileImage = 1;
// Outside the list's image list, so a separator shows no image.
inline constexpr int kSeparatorImage = 10;

inline constexpr int kPathColumn = 0;
inline constexpr int kNameColumn = 1;
inline constexpr int kSizeColumn = 2;
inline constexpr int kColumnCount = 3;

// Dark grey bar colour of a separator row (red, green and blue 96).
inline constexpr uint32_t kSeparatorColour = 0x606060;

struct RowData {
    int stateImage = kUnticked;
    int group = kFileGroup;
    int image = kFileImage;
    bool separator = false;
    std::u16string texts[kColumnCount];
};

// Indices are 0-based row positions; deleting a row moves the later rows up
// by one. Reads of a row that does not exist give -1 (state, group) or an
// empty text.
template <class R>
concept RowList = requires(R& rows, const R& view, int32_t row, int column, int state, bool on,
                           const RowData& data) {
    { view.Count() } -> std::same_as<int32_t>;
    rows.Append(data);
    { view.StateImage(row) } -> std::same_as<int>;
    rows.SetStateImage(row, state);
    { view.Group(row) } -> std::same_as<int>;
    { view.Text(row, column) } -> std::same_as<std::u16string>;
    rows.DeleteRow(row);
    rows.DeleteAll();
    rows.SetRedraw(on);
    rows.Arrange();
    { view.ColumnCount() } -> std::same_as<int>;
    // Selection and focus, for find and the folder rules.
    { view.IsSelected(row) } -> std::same_as<bool>;
    rows.SetSelectedFocused(row, on);
    { view.FirstSelected() } -> std::same_as<int32_t>;
    rows.EnsureVisible(row);
};

// A row with a check box is an item row; a separator row has none.
template <RowList R>
bool IsItemRow(const R& rows, int32_t row) {
    return rows.StateImage(row) > 0;
}

}  // namespace cs::results
