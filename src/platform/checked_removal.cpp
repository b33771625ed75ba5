// The parts of the checked removal that are the same on every platform.
#include "platform/checked_removal.h"

#include "platform/text.h"

namespace cs::platform {

const char* ItemCheckText(ItemCheck check) {
    switch (check) {
        case ItemCheck::Ok:
            return "ok";
        case ItemCheck::Vanished:
            return "vanished since the scan";
        case ItemCheck::Changed:
            return "changed since the scan";
        case ItemCheck::Replaced:
            return "replaced by another item since the scan";
        case ItemCheck::Link:
            return "is a link now";
        case ItemCheck::PathChanged:
            return "a folder on its path changed since the scan";
        case ItemCheck::OtherDevice:
            return "holds a folder on another file system";
        case ItemCheck::Unreadable:
            return "holds a folder that cannot be read";
        case ItemCheck::NotRemoved:
            return "the system refused to remove it";
        case ItemCheck::NotTrashed:
            return "the trash did not take it";
    }
    return "unknown";
}

std::u16string ItemRoute::Path() const {
    std::u16string path = rootPath;
    for (const FolderStep& step : folders)
        path = JoinPath(path, step.name);
    return JoinPath(path, name);
}

}  // namespace cs::platform
