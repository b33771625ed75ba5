#include "results/result_list.h"

namespace cs::results {

RowData MakeItemRow(int group, int image, std::u16string_view path, std::u16string sizeText) {
    RowData row;
    row.stateImage = kUnticked;
    row.group = group;
    row.image = image;
    row.texts[kPathColumn] = std::u16string(path);
    row.texts[kNameColumn] = NameForPath(path);
    row.texts[kSizeColumn] = std::move(sizeText);
    return row;
}

RowData MakeSeparatorRow(int group) {
    RowData row;
    row.stateImage = kNoCheckBox;
    row.group = group;
    row.image = kSeparatorImage;
    row.separator = true;
    return row;
}

}  // namespace cs::results
