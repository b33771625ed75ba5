#include "toolkit/controls.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/controls_internal.h"

namespace cs::toolkit {

using namespace detail;

namespace {

using namespace Gdiplus::DllExports;

constexpr DWORD kDropDownStyle = style::kDropDownList;
constexpr int kDropDownHeight = 25;
constexpr DWORD kTextBoxStyle = style::kReadOnlyText;
constexpr DWORD kLinkStyle = style::kLink;
constexpr DWORD kListStyle = style::kReportList;
constexpr DWORD kListExStyle = style::kReportListExtras;
constexpr DWORD kPictureStyle = style::kPicture;
constexpr DWORD kPushButtonStyle = style::kPushButton;
constexpr DWORD kCheckBoxStyle = style::kCheckBox;
constexpr DWORD kRadioButtonStyle = style::kRadioButton;
constexpr DWORD kEditStyle = style::kEditBox;
constexpr DWORD kLabelStyle = style::kLabel;
constexpr DWORD kRuleStyle = WS_CHILD | WS_VISIBLE;
constexpr DWORD kSizeGripStyle = WS_CHILD | WS_VISIBLE | SBS_SIZEGRIP | SBS_SIZEBOXBOTTOMRIGHTALIGN;
constexpr int32_t kFullWidthLayout = layout::kRight | layout::kScaleWidth;
constexpr int kMenuTextUnits = 256;
constexpr UINT kRedrawAll =
    RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASENOW | RDW_FRAME;

bool IsCheckKind(ControlKind kind) {
    return kind == ControlKind::kCheckBox || kind == ControlKind::kRadioButton;
}

// Replaces the control's brush: a colour gets a solid brush of its own, the
// "no colour" values none, so the control is transparent again.
void ReplaceBrush(ControlRecord& control, int32_t colour) {
    if (colour >= 0 && colour < 0x01000000)
        control.backgroundBrush.Reset(CreateSolidBrush(static_cast<COLORREF>(colour)));
    else
        control.backgroundBrush.Reset();
}

// The window that parents a control placed in `parentSlot`: the window
// itself for 0, else the sub-window in that slot; null for any other slot.
HWND ParentWindow(WindowRecord& record, int32_t parentSlot) {
    if (parentSlot == 0)
        return record.window;
    ControlRecord* parent = FindControl(record, parentSlot);
    return parent != nullptr && parent->kind == ControlKind::kSubWindow ? parent->handle : nullptr;
}

// The parts of a "\n"-separated text; none for an empty text.
std::vector<std::wstring> SplitEntries(std::wstring_view text) {
    std::vector<std::wstring> parts;
    if (text.empty())
        return parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L'\n', start);
        parts.emplace_back(text.substr(start, end == std::wstring_view::npos ? end : end - start));
        if (end == std::wstring_view::npos)
            return parts;
        start = end + 1;
    }
}

bool FillDropDown(HWND list, std::wstring_view text) {
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    const std::vector<std::wstring> parts = SplitEntries(text);
    for (const std::wstring& part : parts) {
        const LRESULT added =
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(part.c_str()));
        if (added == CB_ERR || added == CB_ERRSPACE)
            return false;
    }
    SendMessageW(list, CB_SETCURSEL, parts.empty() ? static_cast<WPARAM>(-1) : 0, 0);
    return true;
}

// The system's grip sends its sizing command to its parent, which inside a
// pane is the pane; the press goes to the top-level window instead, as a
// press on the bottom-right corner of its frame, so the system sizes it the
// way its own grip would.
LRESULT CALLBACK SizeGripProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              UINT_PTR id, DWORD_PTR) {
    if (message == WM_LBUTTONDOWN) {
        HWND top = GetAncestor(window, GA_ROOT);
        ReleaseCapture();
        SendMessageW(top, WM_NCLBUTTONDOWN, HTBOTTOMRIGHT, static_cast<LPARAM>(GetMessagePos()));
        return 0;
    }
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(window, SizeGripProc, id);
    return DefSubclassProc(window, message, wParam, lParam);
}

// A text box with layout flags spans the window: it starts at the left
// edge, is as wide as the window was designed, and keeps to both edges.
Placement FullWidth(const WindowRecord& record, const Placement& at) {
    Placement placed = at;
    placed.rect.x = 0;
    placed.rect.width = record.designClientSize.cx;
    return placed;
}

bool SetPictureBitmap(ControlRecord& control, HBITMAP bitmap) {
    UniqueBitmap copy(static_cast<HBITMAP>(CopyImage(bitmap, IMAGE_BITMAP, 0, 0, 0)));
    if (!copy)
        return false;
    const HBITMAP previous = control.image.Get();
    ShowBitmap(control.handle, copy.Get(), &previous, 1);
    control.image = std::move(copy);
    return true;
}

}  // namespace

namespace detail {

// Shows `bitmap` in a picture or image button and deletes what the control
// hands back, unless it is one of the bitmaps the record still owns (with
// 32-bit bitmaps the control shows, and returns, a copy of its own).
void ShowBitmap(HWND control, HBITMAP bitmap, const HBITMAP* owned, size_t ownedCount) {
    auto old = reinterpret_cast<HBITMAP>(
        SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    InvalidateInParent(control);
    if (old == nullptr || old == bitmap)
        return;
    for (size_t i = 0; i < ownedCount; ++i) {
        if (owned[i] == old)
            return;
    }
    DeleteObject(old);
}

UniqueBitmap ToBitmap(Gdiplus::GpImage* image) {
    HBITMAP bitmap = nullptr;
    if (image == nullptr || GdipCreateHBITMAPFromBitmap(static_cast<Gdiplus::GpBitmap*>(image),
                                                        &bitmap, 0) != Gdiplus::Ok)
        return UniqueBitmap();
    return UniqueBitmap(bitmap);
}

}  // namespace detail

int32_t CreateStandardControl(WindowRecord& record, ControlKind kind, const wchar_t* className,
                              const wchar_t* text, DWORD style, DWORD exStyle,
                              const Placement& at) {
    if (record.window == nullptr || !EnsureControlCapacity(record))
        return 0;
    HWND parent = ParentWindow(record, at.parent);
    if (parent == nullptr)
        return 0;
    const int32_t slot = record.count + 1;
    if (at.groupStart)
        style |= WS_GROUP;
    const ControlRect& rect = at.rect;
    HWND handle = CreateWindowExW(exStyle, className, text != nullptr ? text : L"", style, rect.x,
                                  rect.y, rect.width, rect.height, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(slot)),
                                  record.instance, nullptr);
    if (handle == nullptr)
        return 0;
    if (RegisterControl(record, kind, handle, at) != slot) {
        DestroyWindow(handle);
        return 0;
    }
    record.controls[slot].designRect = {rect.x, rect.y, rect.width, rect.height};
    return slot;
}

int32_t CreateDropDownList(WindowRecord& record, const wchar_t* entries, const Placement& at) {
    Placement placed = at;
    if (placed.rect.height == 0)
        placed.rect.height = kDropDownHeight;
    const int32_t slot = CreateStandardControl(record, ControlKind::kDropDownList, L"ComboBox", L"",
                                               kDropDownStyle, 0, placed);
    if (slot == 0)
        return 0;
    ControlRecord& control = record.controls[slot];
    FillDropDown(control.handle, entries != nullptr ? entries : L"");
    // A drop-down list sizes itself (its height is the closed field's), and
    // layout must start from the size it really has.
    RECT bounds{};
    if (GetWindowRect(control.handle, &bounds)) {
        MapWindowPoints(nullptr, GetParent(control.handle), reinterpret_cast<POINT*>(&bounds), 2);
        control.designRect = {bounds.left, bounds.top, bounds.right - bounds.left,
                              bounds.bottom - bounds.top};
    }
    return slot;
}

int32_t CreateTextBox(WindowRecord& record, const Placement& at) {
    const bool fullWidth = at.layout != 0;
    const int32_t slot =
        CreateStandardControl(record, ControlKind::kReadOnlyText, L"Edit", L"", kTextBoxStyle, 0,
                              fullWidth ? FullWidth(record, at) : at);
    if (slot != 0 && fullWidth)
        record.controls[slot].layoutFlags |= kFullWidthLayout;
    return slot;
}

int32_t CreateLink(WindowRecord& record, const wchar_t* text, const Placement& at) {
    return CreateStandardControl(record, ControlKind::kLink, WC_LINK, text, kLinkStyle, 0, at);
}

int32_t CreateList(WindowRecord& record, const wchar_t* headings, const Placement& at,
                   bool rowsKeptByProgram) {
    const DWORD style = kListStyle | (rowsKeptByProgram ? LVS_OWNERDATA : 0);
    const int32_t slot =
        CreateStandardControl(record, ControlKind::kListView, WC_LISTVIEWW, L"", style, 0, at);
    if (slot == 0)
        return 0;
    HWND list = record.controls[slot].handle;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, kListExStyle, kListExStyle);
    const std::vector<std::wstring> parts = SplitEntries(headings != nullptr ? headings : L"");
    for (size_t i = 0; i < parts.size(); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = LVCFMT_LEFT;
        column.cx = (at.rect.width - 20) / static_cast<int>(parts.size());
        column.pszText = const_cast<wchar_t*>(parts[i].c_str());
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    return slot;
}

int32_t CreateHorizontalRule(WindowRecord& record, COLORREF colour, const Placement& at) {
    const int32_t slot =
        CreateStandardControl(record, ControlKind::kLabel, L"Static", L"", kRuleStyle, 0, at);
    if (slot != 0)
        SetControlBackColour(record, slot, static_cast<int32_t>(colour));
    return slot;
}

int32_t CreateSizeGrip(WindowRecord& record, int size, int32_t parent) {
    RECT client{};
    HWND parentWindow = ParentWindow(record, parent);
    if (parentWindow == nullptr || !GetClientRect(parentWindow, &client))
        return 0;
    const Placement corner{.rect = {client.right - size, client.bottom - size, size, size},
                           .parent = parent};
    const int32_t slot = CreateStandardControl(record, ControlKind::kSizeGrip, L"ScrollBar", L"",
                                               kSizeGripStyle, 0, corner);
    if (slot == 0)
        return 0;
    ActAsSizeGrip(record, slot);
    // Layout keeps it in its parent's corner (LayoutControls), not its flags:
    // a pane need not grow the way the window does.
    record.controls[slot].layoutFlags = 0;
    return slot;
}

bool ActAsSizeGrip(WindowRecord& record, int32_t slot) {
    ControlRecord* grip = FindControl(record, slot);
    if (grip == nullptr || grip->handle == nullptr)
        return false;
    SetWindowSubclass(grip->handle, SizeGripProc, 0, 0);
    return SetControlCursor(record, slot, IDC_SIZENWSE);
}

bool SetControlCursor(WindowRecord& record, int32_t slot, const wchar_t* systemCursor) {
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr)
        return false;
    control->cursor = systemCursor != nullptr ? LoadCursorW(nullptr, systemCursor) : nullptr;
    return systemCursor == nullptr || control->cursor != nullptr;
}

int32_t CreatePicture(WindowRecord& record, HBITMAP bitmap, const Placement& at) {
    const int32_t slot =
        CreateStandardControl(record, ControlKind::kPicture, L"Static", L"", kPictureStyle, 0, at);
    if (slot != 0 && bitmap != nullptr)
        SetPictureBitmap(record.controls[slot], bitmap);
    return slot;
}

int32_t CreateScaledPicture(WindowRecord& record, Gdiplus::GpImage* image, const Placement& at) {
    UniqueBitmap bitmap;
    if (image != nullptr) {
        const int width = at.rect.width;
        const int height = at.rect.height;
        GdipImage scaled = CreatePremultipliedBitmap(width, height);
        if (scaled && DrawImageScaled(image, AsBitmap(scaled), width, height))
            bitmap = ToBitmap(scaled.Get());
    }
    return CreatePicture(record, bitmap.Get(), at);
}

int32_t CreatePushButton(WindowRecord& record, const wchar_t* text, const Placement& at) {
    return CreateStandardControl(record, ControlKind::kPushButton, L"Button", text,
                                 kPushButtonStyle, 0, at);
}

int32_t CreateCheckBox(WindowRecord& record, const wchar_t* text, const Placement& at) {
    return CreateStandardControl(record, ControlKind::kCheckBox, L"Button", text, kCheckBoxStyle, 0,
                                 at);
}

int32_t CreateRadioButton(WindowRecord& record, const wchar_t* text, const Placement& at) {
    return CreateStandardControl(record, ControlKind::kRadioButton, L"Button", text,
                                 kRadioButtonStyle, 0, at);
}

int32_t CreateEditBox(WindowRecord& record, const wchar_t* text, const Placement& at) {
    return CreateStandardControl(record, ControlKind::kEdit, L"Edit", text, kEditStyle,
                                 WS_EX_CLIENTEDGE, at);
}

int32_t CreateLabel(WindowRecord& record, const wchar_t* text, const Placement& at) {
    return CreateStandardControl(record, ControlKind::kLabel, L"Static", text, kLabelStyle, 0, at);
}

bool SetControlState(WindowRecord& record, int32_t slot, uint32_t bits) {
    if (slot == -1)
        slot = record.count;
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr)
        return false;
    if (IsMenuKind(control->kind))
        return SetMenuEntryState(record, slot, *control, bits);
    HWND handle = control->handle;
    if (handle == nullptr)
        return false;
    bool result = false;
    if (bits & (state::kHidden | state::kVisible)) {
        const bool hide = (bits & state::kHidden) != 0;
        ShowWindow(handle, hide ? SW_HIDE : SW_SHOW);
        // Cleared in the style too, the control stays hidden when its parent
        // is shown again.
        const LONG_PTR style = GetWindowLongPtrW(handle, GWL_STYLE);
        SetWindowLongPtrW(handle, GWL_STYLE, hide ? (style & ~WS_VISIBLE) : (style | WS_VISIBLE));
        result = true;
    }
    if ((bits & (state::kChecked | state::kUnchecked | state::kIndeterminate)) &&
        IsCheckKind(control->kind)) {
        const WPARAM check = (bits & state::kChecked)     ? BST_CHECKED
                             : (bits & state::kUnchecked) ? BST_UNCHECKED
                                                          : BST_INDETERMINATE;
        SendMessageW(handle, BM_SETCHECK, check, 0);
        result = SendMessageW(handle, BM_GETCHECK, 0, 0) == static_cast<LRESULT>(check);
    }
    if (bits & (state::kEnabled | state::kDisabled)) {
        EnableWindow(handle, (bits & state::kEnabled) ? TRUE : FALSE);
        result = true;
    }
    if (bits & (state::kFocused | state::kUnfocused)) {
        HWND target = (bits & state::kFocused) ? handle : record.window;
        SetFocus(target);
        result = GetFocus() == target;
    }
    return result;
}

uint32_t GetControlState(WindowRecord& record, int32_t slot, uint32_t mask) {
    if (slot == -1)
        slot = record.count;
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr)
        return 0;
    uint32_t bits = 0;
    if (IsMenuKind(control->kind)) {
        HMENU menu = nullptr;
        UINT fState = 0;
        if (!GetMenuEntryState(record, slot, *control, menu, fState))
            return 0;
        bits |= (fState & (MFS_GRAYED | MFS_DISABLED)) ? state::kDisabled : state::kEnabled;
        bits |= (fState & MFS_CHECKED) ? state::kChecked : state::kUnchecked;
        bits |= (fState & MFS_HILITE) ? state::kFocused : state::kUnfocused;
        return bits & mask;
    }
    HWND handle = control->handle;
    if (handle == nullptr)
        return 0;
    bits |= IsWindowVisible(handle) ? state::kVisible : state::kHidden;
    bits |= IsWindowEnabled(handle) ? state::kEnabled : state::kDisabled;
    bits |= GetFocus() == handle ? state::kFocused : state::kUnfocused;
    if (IsCheckKind(control->kind)) {
        const LRESULT check = SendMessageW(handle, BM_GETCHECK, 0, 0);
        bits |= check == BST_CHECKED         ? state::kChecked
                : check == BST_INDETERMINATE ? state::kIndeterminate
                                             : state::kUnchecked;
    }
    return bits & mask;
}

bool IsControlChecked(WindowRecord& record, int32_t slot) {
    return (GetControlState(record, slot, state::kChecked) & state::kChecked) != 0;
}

bool SetControlText(WindowRecord& record, int32_t slot, const wchar_t* text) {
    if (slot == -1)
        slot = record.count;
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr)
        return false;
    if (text == nullptr)
        text = L"";
    if (IsMenuKind(control->kind)) {
        HMENU menu = MenuHolding(record, slot, *control);
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_STRING;
        info.dwTypeData = const_cast<wchar_t*>(text);
        return menu != nullptr && SetMenuItemInfoW(menu, static_cast<UINT>(slot), FALSE, &info);
    }
    if (control->handle == nullptr)
        return false;
    if (control->kind == ControlKind::kDropDownList)
        return FillDropDown(control->handle, text);
    const bool set =
        SendMessageW(control->handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != FALSE;
    // A transparent control draws only its text; without its parent's
    // background behind it the old text would show through.
    InvalidateInParent(control->handle);
    return set;
}

std::wstring GetControlText(WindowRecord& record, int32_t slot) {
    if (slot == -1)
        slot = record.count;
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr)
        return {};
    if (IsMenuKind(control->kind)) {
        HMENU menu = MenuHolding(record, slot, *control);
        if (menu == nullptr)
            return {};
        std::wstring text(kMenuTextUnits, L'\0');
        const int length = GetMenuStringW(menu, static_cast<UINT>(slot), text.data(),
                                          kMenuTextUnits, MF_BYCOMMAND);
        text.resize(length > 0 ? static_cast<size_t>(length) : 0);
        return text;
    }
    if (control->handle == nullptr)
        return {};
    const auto length = SendMessageW(control->handle, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const auto copied = SendMessageW(control->handle, WM_GETTEXT, text.size(),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

bool GetControlRect(WindowRecord& record, int32_t slot, ControlRect& rect) {
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || control->handle == nullptr)
        return false;
    RECT bounds{};
    if (!GetWindowRect(control->handle, &bounds))
        return false;
    MapWindowPoints(nullptr, GetParent(control->handle), reinterpret_cast<POINT*>(&bounds), 2);
    rect = {bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top};
    return true;
}

bool SetControlBackColour(WindowRecord& record, int32_t slot, int32_t colour) {
    if (slot == -1)
        slot = record.count;
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr)
        return false;
    control->backColour = colour;
    ReplaceBrush(*control, colour);
    if (IsMenuKind(control->kind)) {
        HMENU menu = control->kind == ControlKind::kSubmenuEntry
                         ? control->menu
                         : MenuHolding(record, slot, *control);
        MENUINFO info{};
        info.cbSize = sizeof(info);
        info.fMask = MIM_BACKGROUND;
        info.hbrBack = control->backgroundBrush.Get();
        return menu != nullptr && SetMenuInfo(menu, &info) != FALSE;
    }
    if (control->handle == nullptr)
        return false;
    if (control->kind == ControlKind::kListView) {
        const auto value = static_cast<LPARAM>(static_cast<COLORREF>(colour));
        SendMessageW(control->handle, LVM_SETBKCOLOR, 0, value);
        SendMessageW(control->handle, LVM_SETTEXTBKCOLOR, 0, value);
    }
    RedrawWindow(control->handle, nullptr, nullptr, kRedrawAll);
    return true;
}

bool SetControlTextColour(WindowRecord& record, int32_t slot, int32_t colour) {
    if (slot == -1)
        slot = record.count;
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr)
        return false;
    control->textColour = colour;
    if (control->handle == nullptr)
        return true;
    if (control->kind == ControlKind::kListView)
        SendMessageW(control->handle, LVM_SETTEXTCOLOR, 0,
                     static_cast<LPARAM>(static_cast<COLORREF>(colour)));
    RedrawWindow(control->handle, nullptr, nullptr, kRedrawAll);
    return true;
}

bool SetControlFont(WindowRecord& record, int32_t slot, double points, int weight) {
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || control->handle == nullptr)
        return false;
    UniqueFont font = CreateControlFont(record, {points, weight});
    if (!font)
        return false;
    SendMessageW(control->handle, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    control->font = std::move(font);  // the control no longer uses the old one
    return true;
}

bool SetControlImage(WindowRecord& record, int32_t slot, HBITMAP bitmap, int width, int height) {
    if (slot == -1)
        slot = record.count;
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr)
        return false;
    if (IsMenuKind(control->kind)) {
        // A made-up empty bitmap would be deleted while the menu still drew
        // it; no bitmap simply removes the image.
        HMENU menu = MenuHolding(record, slot, *control);
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_CHECKMARKS;
        info.hbmpUnchecked = bitmap;
        if (menu != nullptr && GetMenuItemInfoW(menu, static_cast<UINT>(slot), FALSE, &info)) {
            info.fMask = MIIM_CHECKMARKS;
            info.hbmpUnchecked = bitmap;
            return SetMenuItemInfoW(menu, static_cast<UINT>(slot), FALSE, &info) != FALSE;
        }
        return false;
    }
    if (control->handle == nullptr)
        return false;
    UniqueBitmap blank;
    if (bitmap == nullptr) {
        blank = CreateArgbDib(width, height, 0);
        if (!blank)
            return false;
        bitmap = blank.Get();
    }
    HWND handle = control->handle;
    switch (control->kind) {
        case ControlKind::kPushButton: {
            BUTTON_IMAGELIST current{};
            if (SendMessageW(handle, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&current)) &&
                current.himl != nullptr)
                ImageList_Destroy(current.himl);
            UniqueImageList images(ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 1, 1));
            if (!images || ImageList_Add(images.Get(), bitmap, nullptr) < 0) {
                BUTTON_IMAGELIST none{};
                none.himl = nullptr;
                SendMessageW(handle, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&none));
                return false;
            }
            BUTTON_IMAGELIST list{};
            list.himl = images.Get();
            list.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
            if (!SendMessageW(handle, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&list)))
                return false;
            images.Release();  // the button holds it now; replaced or freed above
            return true;
        }
        case ControlKind::kListView: {
            auto images = reinterpret_cast<HIMAGELIST>(
                SendMessageW(handle, LVM_GETIMAGELIST, LVSIL_NORMAL, 0));
            if (images == nullptr) {
                images = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 5, 3);
                if (images == nullptr)
                    return false;
                SendMessageW(handle, LVM_SETIMAGELIST, LVSIL_NORMAL,
                             reinterpret_cast<LPARAM>(images));
            }
            if (ImageList_GetImageCount(images) > 0)
                return ImageList_Replace(images, 0, bitmap, nullptr) != FALSE;
            return ImageList_Add(images, bitmap, nullptr) >= 0;
        }
        case ControlKind::kPicture:
            return SetPictureBitmap(*control, bitmap);
        default:
            return false;
    }
}

bool SetLinkPlainColours(WindowRecord& record, int32_t slot) {
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr || control->kind != ControlKind::kLink || control->handle == nullptr)
        return false;
    LITEM item{};
    item.mask = LIF_ITEMINDEX | LIF_STATE;
    item.iLink = 0;
    item.state = LIS_DEFAULTCOLORS;
    item.stateMask = LIS_DEFAULTCOLORS;
    return SendMessageW(control->handle, LM_SETITEM, 0, reinterpret_cast<LPARAM>(&item)) != FALSE;
}

ListRowData* NewRowWithTexts(std::initializer_list<std::wstring_view> texts) {
    size_t length = 0;
    for (std::wstring_view text : texts)
        length += text.size() + 1;
    std::unique_ptr<ListRowData> data(new (std::nothrow) ListRowData);
    if (!data)
        return nullptr;
    data->texts.reset(new (std::nothrow) wchar_t[length]);
    if (!data->texts)
        return nullptr;
    wchar_t* at = data->texts.get();
    for (std::wstring_view text : texts) {
        at = std::copy(text.begin(), text.end(), at);
        *at++ = L'\0';
    }
    data->textCount = static_cast<int32_t>(texts.size());
    return data.release();
}

std::wstring_view RowText(const ListRowData& data, int column) {
    if (!data.texts || column < 0 || column >= data.textCount)
        return {};
    const wchar_t* text = data.texts.get();
    for (int skipped = 0; skipped < column; ++skipped)
        text += std::wcslen(text) + 1;
    return text;
}

int CopyRowText(const ListRowData* data, int column, wchar_t* buffer, int room) {
    if (buffer == nullptr || room <= 0)
        return 0;
    const std::wstring_view text = data != nullptr ? RowText(*data, column) : std::wstring_view();
    const size_t count = std::min(text.size(), static_cast<size_t>(room - 1));
    std::copy_n(text.data(), count, buffer);
    buffer[count] = L'\0';
    return static_cast<int>(count);
}

}  // namespace cs::toolkit
