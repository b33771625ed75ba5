#include "toolkit/window.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <new>

#include "toolkit/container.h"
#include "toolkit/controls_internal.h"
#include "toolkit/drawing.h"
#include "toolkit/modal.h"

namespace cs::toolkit {

using detail::CreateControlFont;
using detail::IsMenuKind;

namespace {

constexpr int kClassExtraBytes = 512;
constexpr int kModulePathUnits = 2048;

ControlFont WindowFont(const WindowRecord& record) {
    return {record.fontSize, record.fontWeight};
}

void SetFontFace(WindowRecord& record, const wchar_t* face) {
    record.fontFace.fill(L'\0');
    wcsncpy(record.fontFace.data(), face, record.fontFace.size() - 1);
}

HICON OwnerIcon(HWND owner, WPARAM which, int classIndex) {
    auto icon = reinterpret_cast<HICON>(SendMessageW(owner, WM_GETICON, which, 0));
    if (icon == nullptr)
        icon = reinterpret_cast<HICON>(DefWindowProcW(owner, WM_GETICON, which, 0));
    if (icon == nullptr)
        icon = reinterpret_cast<HICON>(GetClassLongPtrW(owner, classIndex));
    return icon;
}

void SetWindowIcons(WindowRecord& record, HWND owner) {
    UniqueIcon big;
    UniqueIcon small;
    if (owner != nullptr) {
        if (HICON icon = OwnerIcon(owner, ICON_BIG, GCLP_HICON))
            big.Reset(CopyIcon(icon));
        if (HICON icon = OwnerIcon(owner, ICON_SMALL, GCLP_HICONSM))
            small.Reset(CopyIcon(icon));
    } else {
        std::wstring path(kModulePathUnits, L'\0');
        const DWORD length = GetModuleFileNameW(record.instance, path.data(), kModulePathUnits);
        if (length > 0 && length < kModulePathUnits) {
            path.resize(length);
            HICON bigIcon = nullptr;
            HICON smallIcon = nullptr;
            const UINT sizes = MAKELONG(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CXSMICON));
            if (SUCCEEDED(SHDefExtractIconW(path.c_str(), 0, 0, &bigIcon, &smallIcon, sizes))) {
                big.Reset(bigIcon);
                small.Reset(smallIcon);
            }
        }
    }
    if (!big && !small)
        return;
    ReplaceWindowIcons(record.window, big.Release(), small.Release());
}

// The icons set at creation are copies made for this window: the window
// does not destroy them, so every dialog opened would leak two icons.
void DestroyWindowIcons(HWND window) {
    for (WPARAM which : {ICON_SMALL, ICON_BIG}) {
        if (auto icon = reinterpret_cast<HICON>(SendMessageW(window, WM_SETICON, which, 0)))
            DestroyIcon(icon);
    }
}

// A record may still hold its skin in the memory DC; GDI deletes neither
// while the bitmap is selected, so the DC gets its own back first.
void ReleaseSkin(WindowRecord& record) {
    if (record.memoryDc && record.memoryDcPreviousBitmap != nullptr)
        SelectObject(record.memoryDc.Get(), record.memoryDcPreviousBitmap);
    record.memoryDcPreviousBitmap = nullptr;
    record.skinBitmap.Reset();
    record.memoryDc.Reset();
}

// Finds the position of the entry opening `submenu` in `menu` or its
// submenus, so the entry can be taken out before the submenu is destroyed.
bool FindSubmenuEntry(HMENU menu, HMENU submenu, HMENU& holder, int& position) {
    if (menu == nullptr)
        return false;
    const int items = GetMenuItemCount(menu);
    for (int i = 0; i < items; ++i) {
        HMENU child = GetSubMenu(menu, i);
        if (child == nullptr)
            continue;
        if (child == submenu) {
            holder = menu;
            position = i;
            return true;
        }
        if (FindSubmenuEntry(child, submenu, holder, position))
            return true;
    }
    return false;
}

void RemoveMenuEntries(WindowRecord& record, HMENU menu) {
    if (menu == nullptr)
        return;
    for (int i = GetMenuItemCount(menu) - 1; i >= 0; --i) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_SUBMENU;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info))
            continue;
        ControlRecord* entry = FindControl(record, static_cast<int32_t>(info.wID));
        const bool registered =
            entry != nullptr && IsMenuKind(entry->kind) &&
            (entry->kind == ControlKind::kMenuEntry ? entry->menu == menu
                                                    : entry->menu == info.hSubMenu);
        if (registered) {
            RemoveControl(record, static_cast<int32_t>(info.wID));
            continue;
        }
        if (info.hSubMenu != nullptr)
            RemoveMenuEntries(record, info.hSubMenu);
        DeleteMenu(menu, static_cast<UINT>(i), MF_BYPOSITION);
    }
}

void RemoveSubmenuEntry(WindowRecord& record, HMENU submenu) {
    RemoveMenuEntries(record, submenu);
    HMENU holder = nullptr;
    int position = -1;
    bool found = FindSubmenuEntry(record.windowMenu.Get(), submenu, holder, position);
    for (int32_t slot = 1; !found && slot <= record.count; ++slot) {
        const ControlRecord& other = record.controls[slot];
        if (other.inUse != 0 && other.menu != nullptr && other.menu != submenu)
            found = FindSubmenuEntry(other.menu, submenu, holder, position);
    }
    if (found)
        RemoveMenu(holder, static_cast<UINT>(position), MF_BYPOSITION);
    DestroyMenu(submenu);
}

}  // namespace

ATOM RegisterToolkitClass(HINSTANCE instance, const wchar_t* className, HBRUSH background) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.cbClsExtra = kClassExtraBytes;
    windowClass.cbWndExtra = kClassExtraBytes;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = className;
    return RegisterClassExW(&windowClass);
}

WindowRecord::WindowRecord() noexcept {
    ResetWindowRecord(*this, true);
}

WindowRecord::~WindowRecord() {
    DestroyToolkitWindow(*this);
}

int FontHeightForPoints(double points) {
    return -static_cast<int>(points * 96.0 / 72.0);
}

namespace detail {

UniqueFont CreateControlFont(const WindowRecord& record, ControlFont font) {
    const double points = font.points < 1.0 ? 8.5 : font.points;
    const int weight = font.weight < 1 ? 400 : font.weight;
    const BYTE quality = record.fontQuality == 0 ? PROOF_QUALITY : record.fontQuality;
    return UniqueFont(CreateFontW(FontHeightForPoints(points), 0, 0, 0, weight,
                                  (record.fontStyle & 0x2) != 0, (record.fontStyle & 0x4) != 0,
                                  (record.fontStyle & 0x8) != 0, DEFAULT_CHARSET,
                                  OUT_OUTLINE_PRECIS, 0, quality, 0, record.fontFace.data()));
}

}  // namespace detail

void ReplaceWindowIcons(HWND window, HICON big, HICON small) {
    auto set = [window](WPARAM which, HICON icon) {
        if (icon == nullptr)
            return;
        // The window keeps the icon; the one it replaces is ours to destroy.
        const UniqueIcon replaced(reinterpret_cast<HICON>(
            SendMessageW(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon))));
    };
    set(ICON_SMALL, small);
    set(ICON_BIG, big);
    RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_ERASE | RDW_INVALIDATE);
}

void ResetWindowRecord(WindowRecord& record, bool withTable) {
    record.window = nullptr;
    record.tooltip.Release();
    record.ownedPopupCount = 0;
    record.ownedPopups.fill(nullptr);
    record.workRects = {};
    record.minTrackSize = {};
    record.maxTrackSize = {};
    record.laidOutClient = {};
    record.currentClient = {};
    record.fontSize = 0.0;
    record.fontWeight = 0;
    record.fontStyle = 0;
    record.fontFace.fill(L'\0');
    record.fontQuality = 0;
    ReleaseSkin(record);
    record.backgroundBrush = nullptr;
    record.secondBackground.Reset();
    record.classAtom = 0;
    record.defaultButton = 0;
    record.cursor = nullptr;
    record.textColour = kDefaultColour;
    record.backColour = kDefaultColour;
    record.backgroundMode = BackgroundMode::kSolid;
    record.accelerators.Release();
    record.flags = 0;
    record.customFrame = 0;
    record.cornerSize = 0;
    record.frameWidth = 0;
    record.frameColour = 0;
    record.windowMenu.Release();
    record.hotControl = 0;
    if (record.instance == nullptr)
        record.instance = GetModuleHandleW(nullptr);
    if (withTable) {
        record.controls.reset();
        record.capacity = 0;
        record.count = 0;
    }
}

HWND CreateToolkitWindow(WindowRecord& record, const wchar_t* className, const wchar_t* title,
                         int clientWidth, int clientHeight, int x, int y, DWORD style,
                         DWORD exStyle, HWND owner) {
    if (record.window != nullptr)
        DestroyToolkitWindow(record);
    if (record.instance == nullptr)
        record.instance = GetModuleHandleW(nullptr);
    if (style == kDefaultStyle)
        style = kDefaultWindowStyle;
    if (exStyle == kDefaultExStyle)
        exStyle = WS_EX_ACCEPTFILES;

    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(record.instance, className, &existing)) {
        record.flags |= kFlagClassExisted;
    } else {
        record.flags &= ~kFlagClassExisted;
        HBRUSH classBrush = CreateSolidBrush(0xFEFEFE);
        record.classAtom = RegisterToolkitClass(record.instance, className, classBrush);
        if (record.classAtom == 0) {
            DeleteObject(classBrush);
            return nullptr;
        }
    }

    RECT outer{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    int outerWidth = outer.right - outer.left;
    int outerHeight = outer.bottom - outer.top;
    if (style & WS_VSCROLL)
        outerWidth += GetSystemMetrics(SM_CXVSCROLL);
    if (style & WS_HSCROLL)
        outerHeight += GetSystemMetrics(SM_CYHSCROLL);

    HWND window = CreateWindowExW(exStyle, className, title, style, x, y, outerWidth, outerHeight,
                                  owner, nullptr, record.instance, nullptr);
    if (window == nullptr) {
        if (!(record.flags & kFlagClassExisted))
            UnregisterClassW(className, record.instance);
        return nullptr;
    }
    record.window = window;
    if (record.events != nullptr) {
        // A box or tip shares its owner's record; a tip is never activated,
        // so forgetting the active window here would leave the owner's
        // accelerators and Tab navigation dead until it is activated again.
        // A message held back for the next step is kept as well.
        EventRecord& events = *record.events;
        EventRecord fresh;
        fresh.activeWindow = events.activeWindow;
        fresh.held = events.held;
        fresh.hasHeld = events.hasHeld;
        events = fresh;
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&record));
    record.classProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ContainerWindowProc)));
    if (x == kCentred && y == kCentred)
        CenterWindow(window, owner);

    record.fontSize = 9.0;
    record.fontWeight = 400;
    record.fontStyle = 1;
    SetFontFace(record, L"Arial");
    record.fontQuality = 0;

    SetWindowIcons(record, owner);

    record.backgroundBrush = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
    if (!record.memoryDc) {
        WindowDc dc(window);
        record.memoryDc.Reset(CreateCompatibleDC(dc.Get()));
    }
    RECT client{};
    GetClientRect(window, &client);
    record.laidOutClient = {0, 0, client.right, client.bottom};
    record.designClientSize = {client.right, client.bottom};
    return window;
}

bool DestroyToolkitWindow(WindowRecord& record) {
    HWND window = record.window;
    if (window == nullptr)
        return false;
    if (IsWindowVisible(window))
        ShowWindow(window, SW_HIDE);
    wchar_t className[260] = {};
    GetClassNameW(window, className, 260);
    for (int32_t slot = record.count; slot >= 1; --slot) {
        if (record.controls && slot <= record.count && record.controls[slot].inUse != 0)
            RemoveControl(record, slot);
    }
    record.tooltip.Reset();
    if (record.backgroundMode != BackgroundMode::kBorrowedBrush && record.backgroundBrush != nullptr)
        DeleteObject(record.backgroundBrush);
    record.backgroundBrush = nullptr;
    record.secondBackground.Reset();
    ReleaseSkin(record);
    record.windowMenu.Reset();
    record.accelerators.Reset();

    DestroyWindowIcons(window);
    DestroyWindow(window);
    if (!(record.flags & kFlagClassExisted) && className[0] != L'\0') {
        // The class brush is not freed by the system when the class goes.
        WNDCLASSEXW info{};
        info.cbSize = sizeof(info);
        const bool known = GetClassInfoExW(record.instance, className, &info) != FALSE;
        if (UnregisterClassW(className, record.instance) && known && info.hbrBackground != nullptr)
            DeleteObject(info.hbrBackground);
    }
    ResetWindowRecord(record, false);
    return true;
}

void FreeWindowRecord(WindowRecord& record) {
    DestroyToolkitWindow(record);
    record.controls.reset();
    record.capacity = 0;
    record.count = 0;
    record.eventText.clear();
    record.eventText.shrink_to_fit();
    record.eventTextLength = 0;
    record.eventTextValid = 0;
}

bool EnsureControlCapacity(WindowRecord& record) {
    if (!record.controls) {
        record.controls.reset(new (std::nothrow) ControlRecord[kInitialCapacity]);
        if (!record.controls)
            return false;
        record.capacity = kInitialCapacity;
        record.count = 0;
        return true;
    }
    if (record.count > record.capacity - 4) {
        const int32_t capacity = record.capacity * 2;
        std::unique_ptr<ControlRecord[]> grown(new (std::nothrow) ControlRecord[capacity]);
        if (!grown)
            return false;
        for (int32_t slot = 0; slot <= record.count; ++slot)
            grown[slot] = std::move(record.controls[slot]);
        record.controls = std::move(grown);
        record.capacity = capacity;
    }
    return true;
}

ControlRecord* FindControl(WindowRecord& record, int32_t slot) {
    if (slot == -1)
        slot = record.count;
    if (!record.controls || slot < 1 || slot > record.count)
        return nullptr;
    ControlRecord& control = record.controls[slot];
    return control.inUse == slot ? &control : nullptr;
}

int32_t SlotOfHandle(const WindowRecord& record, HWND handle) {
    if (handle == nullptr || !record.controls)
        return 0;
    const auto slot = static_cast<int32_t>(GetWindowLongPtrW(handle, GWLP_ID));
    if (slot < 1 || slot > record.count)
        return 0;
    const ControlRecord& control = record.controls[slot];
    return control.inUse == slot && control.handle == handle ? slot : 0;
}

int32_t RegisterControl(WindowRecord& record, ControlKind kind, HWND handle, const Placement& at) {
    // Creation operations call EnsureControlCapacity first; a caller that
    // did not must still never write past the table.
    if (!record.controls || record.count + 1 >= record.capacity) {
        if (!EnsureControlCapacity(record) || record.count + 1 >= record.capacity)
            return 0;
    }
    const int32_t slot = ++record.count;
    ControlRecord& control = record.controls[slot];
    control = ControlRecord{};
    control.handle = handle;
    control.inUse = slot;
    control.kind = kind;

    const ControlFont font = at.font.points != 0.0 ? at.font : WindowFont(record);
    if (font.points != 0.0 && handle != nullptr) {
        control.font = CreateControlFont(record, font);
        if (control.font)
            SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(control.font.Get()), FALSE);
    }

    // Where the control sits now is its design rectangle until the creating
    // operation stores the one it was asked for.
    if (handle != nullptr) {
        RECT bounds{};
        if (GetWindowRect(handle, &bounds)) {
            MapWindowPoints(nullptr, GetParent(handle), reinterpret_cast<POINT*>(&bounds), 2);
            control.designRect = {bounds.left, bounds.top, bounds.right - bounds.left,
                                  bounds.bottom - bounds.top};
        }
    }

    control.layoutFlags = at.layout;
    if ((control.layoutFlags & layout::kDoubleBuffered) && handle != nullptr)
        InstallDoubleBuffering(record, slot);

    control.textColour = record.textColour < 0 ? static_cast<int32_t>(GetSysColor(COLOR_BTNTEXT))
                                               : record.textColour;
    control.backColour = record.backColour;
    if (record.backColour >= 0)
        control.backgroundBrush.Reset(CreateSolidBrush(static_cast<COLORREF>(record.backColour)));

    if (kind == ControlKind::kSubWindow) {
        control.children.reset(new (std::nothrow) SubWindowChildren);
    } else if (at.parent != 0) {
        ControlRecord* container = FindControl(record, at.parent);
        if (container != nullptr && container->children &&
            container->children->count < kMaxSubWindowChildren)
            container->children->slots[container->children->count++] = slot;
    }

    if (at.layout & layout::kLaidOut) {
        RECT client{};
        if (record.window != nullptr && GetClientRect(record.window, &client))
            control.designClientSize = {client.right, client.bottom};
    }
    return slot;
}

bool RemoveControl(WindowRecord& record, int32_t slot) {
    if (slot == -1)
        slot = record.count;
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr)
        return false;

    switch (control->kind) {
        case ControlKind::kImageButton:
            control->imageButton.reset();
            if (IsWindow(control->handle)) {
                ShowWindow(control->handle, SW_HIDE);
                DestroyWindow(control->handle);
            }
            break;
        case ControlKind::kSubWindow: {
            std::unique_ptr<SubWindowChildren> children = std::move(control->children);
            HWND handle = control->handle;
            if (children) {
                for (int32_t i = children->count - 1; i >= 0; --i)
                    RemoveControl(record, children->slots[i]);
            }
            if (IsWindow(handle))
                DestroyWindow(handle);
            break;
        }
        case ControlKind::kSubmenuEntry:
            if (control->menu != nullptr)
                RemoveSubmenuEntry(record, control->menu);
            break;
        case ControlKind::kMenuEntry:
            if (control->menu != nullptr)
                RemoveMenu(control->menu, static_cast<UINT>(slot), MF_BYCOMMAND);
            break;
        default:
            if (IsWindow(control->handle)) {
                ShowWindow(control->handle, SW_HIDE);
                DestroyWindow(control->handle);
            }
            DestroyControlMenu(record, control->menu);
            break;
    }

    // The recursion above never grows the table, so the record is where it was.
    control = &record.controls[slot];
    if (record.hotControl == slot)
        record.hotControl = 0;
    *control = ControlRecord{};  // deletes the font, brush and images it owned
    if (slot == record.count) {
        record.count = slot - 1;
        while (record.count > 0 && record.controls[record.count].inUse == 0)
            --record.count;
    }
    DrainMessages(record);
    return true;
}

void DestroyControlMenu(WindowRecord& record, HMENU menu) {
    if (menu == nullptr)
        return;
    RemoveMenuEntries(record, menu);
    DestroyMenu(menu);
}

bool EnterOwnedPopup(WindowRecord& owner, HWND popup) {
    if (popup == nullptr)
        return false;
    for (int32_t i = 0; i < kMaxOwnedPopups; ++i) {
        HWND& entry = owner.ownedPopups[static_cast<size_t>(i)];
        if (entry != nullptr && IsWindow(entry))
            continue;
        entry = popup;
        if (owner.ownedPopupCount < i + 1)
            owner.ownedPopupCount = i + 1;
        return true;
    }
    return false;
}

void PostEvent(WindowRecord& record, int32_t code, uint32_t message, void* source, int32_t value,
               intptr_t data) {
    EventRecord* events = record.events;
    if (events == nullptr)
        return;
    events->window = &record;
    events->code = code;
    events->message = message;
    events->source = source;
    events->value = value;
    events->data = data;
    events->pending = code != 0 ? 1 : 0;
    if (code == event::kClose)
        events->close = 1;
    else if (code > 0)
        events->close = 0;
}

uint32_t GetControlEnabledState(WindowRecord& record, int32_t slot) {
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr)
        return 0;
    if (control->kind == ControlKind::kMenuEntry) {
        const UINT state = GetMenuState(control->menu, static_cast<UINT>(slot), MF_BYCOMMAND);
        if (state == static_cast<UINT>(-1))
            return 0;
        return (state & (MF_GRAYED | MF_DISABLED)) ? kStateDisabled : kStateEnabled;
    }
    if (control->handle == nullptr)
        return 0;
    return IsWindowEnabled(control->handle) ? kStateEnabled : kStateDisabled;
}

bool SetControlEnabledState(WindowRecord& record, int32_t slot, uint32_t bits) {
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || !(bits & (kStateEnabled | kStateDisabled)))
        return false;
    const bool enable = (bits & kStateEnabled) != 0;  // enable wins over disable
    if (control->kind == ControlKind::kMenuEntry)
        return EnableMenuItem(control->menu, static_cast<UINT>(slot),
                              MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED)) !=
               static_cast<BOOL>(-1);
    if (control->handle == nullptr)
        return false;
    EnableWindow(control->handle, enable ? TRUE : FALSE);
    return true;
}

HWND ControlHandle(WindowRecord& record, int32_t slot) {
    ControlRecord* control = FindControl(record, slot);
    return control != nullptr ? control->handle : nullptr;
}

}  // namespace cs::toolkit
