#include "removal/removal.h"

#include <string>

namespace cs::removal {

std::u16string RemovalReport(int32_t failures) {
    if (failures <= 0)
        return u"All the selected files have been successfully deleted.";
    std::u16string text;
    for (char c : std::to_string(failures))
        text.push_back(static_cast<char16_t>(c));
    text += failures == 1 ? u" item " : u" items ";
    text += u"could not be deleted. Those are still checked in the list.";
    return text;
}

}  // namespace cs::removal
