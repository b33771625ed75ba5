// The parts of the checked removal that are the same on every platform.
#include "platform/checked_removal.h"

#include "platform/text.h"

namespace cs::platform {

const char* ItemCheckText(ItemCheck check) {
    switch (check) {
        case ItemCheck::Ok:
            return "ok";
        case ItemCheck::Vanished:
            return "gone since the scan";
        case ItemCheck::Changed:
            return "changed since the scan";
        case ItemCheck::Replaced:
            return "replaced by another item since the scan";
        case ItemCheck::Link:
            return "replaced by a link since the scan";
        case ItemCheck::PathChanged:
            return "a folder on its path is not the one scanned";
        case ItemCheck::OtherDevice:
            return "holds another file system";
        case ItemCheck::Unreadable:
            return "holds a folder that cannot be listed";
        case ItemCheck::NotRemoved:
            return "the system refused to remove it";
        case ItemCheck::NotTrashed:
            return "the trash did not take it";
        case ItemCheck::ShellNameEndsWithDotOrSpace:
            return "the recycle bin cannot take a name that ends with a dot or a space";
        case ItemCheck::ShellDeviceName:
            return "the recycle bin cannot take a name that Windows reserves for a device";
        case ItemCheck::ShellPathTooLong:
            return "the recycle bin cannot take a path of 260 characters or more";
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
