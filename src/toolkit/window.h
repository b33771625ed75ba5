// The window framework: the records that describe a toolkit window
// (WindowRecord), each control in it (ControlRecord, addressed by slot),
// where a new control goes (Placement) and the pending event shared by a
// main window and its dialogs (EventRecord); creating and destroying
// toolkit windows, registering and removing controls, sub-windows, window
// icons and posting events. The window
// procedure that turns messages into events lives in container.h, the
// message loops in modal.h. Everything here runs on the user-interface
// thread; worker threads only post messages.
#pragma once

#include <windows.h>
// HDROP (dropped files) lives in the shell header.
#include <shellapi.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "toolkit/handles.h"

namespace cs::toolkit {

// The numbers are stored in records and compared, so they are fixed.
enum class ControlKind : uint32_t {
    kNone = 0,
    kPushButton = 3,
    kCheckBox = 4,
    kDropDownList = 5,
    kReadOnlyText = 9,
    kEdit = 12,
    kLabel = 13,
    kListView = 15,
    kSubmenuEntry = 16,
    kMenuEntry = 17,
    kPicture = 19,
    kRadioButton = 21,
    kLink = 31,
    kImageButton = 34,
    kSubWindow = 40,
    kSizeGrip = 41,  // the grip came after the numbered kinds, so it takes the next free one
};

// How a window's client background is painted.
enum class BackgroundMode : int32_t {
    kSolid = 0,          // the background brush
    kSkin = 1,           // a pattern brush of the painted skin
    kStretchedSkin = 2,  // the memory DC's bitmap stretched over the client area
    kSystem = 3,         // left to the default window procedure
    kBorrowedBrush = 4,  // a brush owned elsewhere, never deleted
};

// The two numbers the records use as "no colour chosen".
inline constexpr int32_t kDefaultColour = -1;  // system colour / transparent
inline constexpr int32_t kNoBrushColour = -2;  // transparent, no brush at all

// The window styles the toolkit and the program create their windows and
// controls with, spelled in the SDK's names so the bits can be read; the
// asserts hold each to the number the windows have always been created with.
namespace style {
// A fixed-size top-level window: caption, system menu, minimise box.
inline constexpr DWORD kFixedFrame = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
inline constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
inline constexpr DWORD kTabChild = kChild | WS_TABSTOP;
// Static controls notify, so a click or double click on them is an event.
inline constexpr DWORD kLabel = kChild | SS_NOTIFY;
inline constexpr DWORD kCentredLabel = kLabel | SS_CENTER;
inline constexpr DWORD kPicture = kLabel | SS_REALSIZECONTROL | SS_BITMAP;
inline constexpr DWORD kImageButton = kPicture | WS_TABSTOP;
inline constexpr DWORD kPushButton = kTabChild | BS_PUSHBUTTON;
inline constexpr DWORD kDefaultPushButton = kTabChild | BS_DEFPUSHBUTTON;
inline constexpr DWORD kCheckBox = kTabChild | BS_AUTOCHECKBOX;
inline constexpr DWORD kRadioButton = kTabChild | BS_AUTORADIOBUTTON;
inline constexpr DWORD kEditBox = kTabChild | ES_AUTOHSCROLL;
inline constexpr DWORD kReadOnlyLine = kChild | ES_READONLY | ES_AUTOHSCROLL;
inline constexpr DWORD kReadOnlyText = kTabChild | ES_MULTILINE | ES_READONLY | ES_WANTRETURN;
inline constexpr DWORD kLink = kTabChild;
inline constexpr DWORD kDropDownList = kTabChild | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL;
inline constexpr DWORD kReportList =
    kTabChild | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
// The list view's own extended style (LVM_SETEXTENDEDLISTVIEWSTYLE), not
// the window's.
inline constexpr DWORD kReportListExtras =
    LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;

static_assert(kFixedFrame == 0x00CA0000);
static_assert(kLabel == 0x50000100 && kCentredLabel == 0x50000101);
static_assert(kPicture == 0x5000014E && kImageButton == 0x5001014E);
static_assert(kPushButton == 0x50010000 && kLink == 0x50010000);
static_assert(kDefaultPushButton == 0x50010001 && kCheckBox == 0x50010003);
static_assert(kRadioButton == 0x50010009 && kEditBox == 0x50010080);
static_assert(kReadOnlyLine == 0x50000880 && kReadOnlyText == 0x50011804);
static_assert(kDropDownList == 0x50010043 && kReportList == 0x5081000D);
static_assert(kReportListExtras == 0x10024);
}  // namespace style

// Style and extended style that stand for the defaults of CreateToolkitWindow.
inline constexpr DWORD kDefaultStyle = 0xFFFFFFFF;
inline constexpr DWORD kDefaultWindowStyle = style::kFixedFrame;
inline constexpr DWORD kDefaultExStyle = 0xFFFFFFFF;
inline constexpr int kCentred = -1;  // x = y = kCentred centres the window

// Layout flags of a control (container.h applies them).
namespace layout {
// Bits of a control's layout flags; they combine with |.
enum Flag : int32_t {
    kLeft = 0x0001,
    kRight = 0x0002,
    kCentreOffsetX = 0x0004,
    kProportionalCentreX = 0x0008,
    kTop = 0x0010,
    kBottom = 0x0020,
    kCentreOffsetY = 0x0040,
    kProportionalCentreY = 0x0080,
    kScaleWidth = 0x0100,
    kScaleHeight = 0x0200,
    kOwnBackground = 0x0400,
    kDoubleBuffered = 0x0800,
    kCaption = 0x1000,
    kScaleX = 0x2000,
    kScaleY = 0x4000,
    kInvalidateAfterMove = 0x8000,
};
// Any of these bits makes a control take part in layout: all but the left
// and top anchors and the painting bits.
inline constexpr int32_t kLaidOut = kRight | kCentreOffsetX | kProportionalCentreX | kBottom |
                                    kCentreOffsetY | kProportionalCentreY | kScaleWidth |
                                    kScaleHeight | kScaleX | kScaleY;
static_assert(kLaidOut == 0x63EE);
// The combinations the program's windows use.
// Stretches with the window both ways and paints its own background
// (the result list).
inline constexpr int32_t kFillsWindow = kLeft | kRight | kTop | kBottom | kOwnBackground;
static_assert(kFillsWindow == 0x433);
// Keeps its distance to the right edge and stretches vertically (the right
// pane).
inline constexpr int32_t kRightPane = kRight | kTop | kBottom | kOwnBackground;
static_assert(kRightPane == 0x432);
}  // namespace layout

// Bits of WindowRecord::flags.
inline constexpr uint32_t kFlagClassExisted = 0x2;

inline constexpr int32_t kInitialCapacity = 512;
inline constexpr int kMaxSubWindowChildren = 255;
inline constexpr int kMaxOwnedPopups = 48;

struct WindowRecord;

struct ControlRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A font a control is created with. Points 0 stand for the window's own
// font (WindowRecord::fontSize and the rest; none at all while that is 0);
// any other size is made in the window's face and style, points below 1
// giving 8.5 and a weight below 1 giving 400.
struct ControlFont {
    double points = 0.0;
    int32_t weight = 0;
};

// Where a new control goes and how it starts out, given to every creation
// call. The defaults make a control in the window itself, in the window's
// font, not laid out, in the tab group of the control before it.
struct Placement {
    // In the parent's client coordinates.
    ControlRect rect{};
    // The slot of the sub-window that holds the control, which then goes
    // when the sub-window goes; 0 is the window itself.
    int32_t parent = 0;
    int32_t layout = 0;       // layout:: flags
    bool groupStart = false;  // the control starts a tab group (WS_GROUP)
    ControlFont font{};
};

// Slots of the controls placed in a sub-window, so removing the sub-window
// removes them too. Silently stops growing when full.
struct SubWindowChildren {
    int32_t count = 0;
    std::array<int32_t, kMaxSubWindowChildren> slots{};
};

// Image button state block: the current state and its five pre-painted
// faces (0 normal, 1 hover, 2 focused, 3 disabled, 4 locked).
struct ImageButtonState {
    int32_t state = 0;
    std::array<UniqueBitmap, 5> bitmaps;
};

struct ControlRecord {
    ControlKind kind = ControlKind::kNone;
    HWND handle = nullptr;
    // A popup-menu control's own menu, a menu entry's holding menu, or a
    // submenu entry's submenu; see RemoveControl for who destroys which.
    HMENU menu = nullptr;
    intptr_t inUse = 0;  // the slot number while taken, 0 when free
    UniqueBrush backgroundBrush;
    UniqueFont font;
    HCURSOR cursor = nullptr;
    int32_t textColour = kDefaultColour;
    int32_t backColour = kDefaultColour;
    RECT designRect{};  // left, top, right = width, bottom = height as created
    SIZE designClientSize{};
    int32_t layoutFlags = 0;
    // Kind data.
    std::unique_ptr<SubWindowChildren> children;    // sub-window
    std::unique_ptr<ImageButtonState> imageButton;  // image button
    UniqueBitmap image;                             // picture's own copy
};

struct EventRecord {
    int32_t code = 0;
    void* source = nullptr;
    uint32_t message = 0;
    int32_t value = 0;
    intptr_t data = 0;
    MSG messageCopy{};
    WindowRecord* window = nullptr;
    WindowRecord* activeWindow = nullptr;
    uint8_t pending = 0;
    uint8_t close = 0;
    // A message GetMessageW or PeekMessageW returned after a message sent
    // from another thread had posted an event during the same call: the
    // step hands that event over and keeps the message for the next step,
    // so neither event is lost or read twice.
    MSG held{};
    uint8_t hasHeld = 0;
};

// One toolkit window. It is neither copied nor moved: its address is the
// subclass id of its window and the EventRecord points at it.
struct WindowRecord {
    WindowRecord() noexcept;
    ~WindowRecord();
    WindowRecord(const WindowRecord&) = delete;
    WindowRecord& operator=(const WindowRecord&) = delete;

    std::unique_ptr<ControlRecord[]> controls;
    int32_t count = 0;
    int32_t capacity = 0;
    int32_t ownedPopupCount = 0;
    std::array<HWND, kMaxOwnedPopups> ownedPopups{};
    // Text payload of the last event; EventRecord::data points into it.
    std::wstring eventText;
    int32_t eventTextLength = 0;
    uint8_t eventTextValid = 0;
    HINSTANCE instance = nullptr;
    std::array<RECT, 2> workRects{};
    SIZE minTrackSize{};
    SIZE maxTrackSize{};
    RECT laidOutClient{};
    RECT currentClient{};
    // The font of the window's controls where their placement names none;
    // a size of 0 leaves them the system's.
    double fontSize = 0.0;
    int32_t fontWeight = 0;
    uint8_t fontStyle = 0;  // bit 1 italic, bit 2 underline, bit 3 strike-out
    std::array<wchar_t, 32> fontFace{};
    uint8_t fontQuality = 0;
    EventRecord* events = nullptr;
    // Set whenever a close request reaches the window, whichever loop
    // dispatches it (a dialog's, a system call's): the close mark in
    // `events` lasts only until the next event.
    bool* closeRequested = nullptr;
    // The procedure of the window's class, which ContainerWindowProc passes
    // on to.
    WNDPROC classProc = nullptr;
    UniqueBitmap skinBitmap;
    HGDIOBJ memoryDcPreviousBitmap = nullptr;
    UniqueDc memoryDc;
    int32_t defaultButton = 0;
    // Not an owner: in background mode 4 it is borrowed and never deleted.
    HBRUSH backgroundBrush = nullptr;
    UniqueGdiObject secondBackground;
    BackgroundMode backgroundMode = BackgroundMode::kSolid;
    ATOM classAtom = 0;
    HDROP drop = nullptr;
    POINT dropPoint{};
    SIZE designClientSize{};
    HCURSOR cursor = nullptr;
    int32_t textColour = kDefaultColour;
    int32_t backColour = kDefaultColour;
    HWND window = nullptr;
    UniqueWindow tooltip;
    UniqueAccelerators accelerators;
    uint32_t flags = 0;
    int32_t customFrame = 0;
    int32_t cornerSize = 0;
    int32_t frameWidth = 0;
    int32_t frameColour = 0;
    POINT mouse{};
    int32_t mouseKeys = 0;
    int32_t hotControl = 0;
    UniqueMenu windowMenu;
};

// Creates the window described by the record (destroying the one it held).
// style/exStyle kDefaultStyle/kDefaultExStyle and x = y = kCentred as
// described in the module paragraph. The record's `events` must be set
// before, or the window is inert. Returns null on failure.
HWND CreateToolkitWindow(WindowRecord& record, const wchar_t* className, const wchar_t* title,
                         int clientWidth, int clientHeight, int x, int y, DWORD style,
                         DWORD exStyle, HWND owner);
// False when the record holds no window.
bool DestroyToolkitWindow(WindowRecord& record);
// Registers a window class of the toolkit's (double clicks, arrow cursor,
// the default procedure, which the toolkit subclasses); 0 on failure.
ATOM RegisterToolkitClass(HINSTANCE instance, const wchar_t* className, HBRUSH background);
// Destroy, then release the control table and the event text.
void FreeWindowRecord(WindowRecord& record);
void ResetWindowRecord(WindowRecord& record, bool withTable);

bool EnsureControlCapacity(WindowRecord& record);
// Appends an already created child window (or a menu entry, with no
// handle) and gives it the font, layout flags and sub-window membership of
// `at`; the design rectangle is where the window sits now. Returns its slot
// (0 on failure).
int32_t RegisterControl(WindowRecord& record, ControlKind kind, HWND handle,
                        const Placement& at = {});
bool RemoveControl(WindowRecord& record, int32_t slot);
// A pane: a sub-window that other controls name as their parent. Panes sit
// in the window itself and do not nest, so `at.parent` must be 0. Returns
// the sub-window's slot, 0 on failure.
int32_t CreateSubWindow(WindowRecord& record, const Placement& at);
// Removes the registered entries of a control's popup menu (recursively)
// and destroys the menu.
void DestroyControlMenu(WindowRecord& record, HMENU menu);
// Enters a popup in the owner's table at the first entry that is empty or
// names a window that is gone; false when all entries hold live windows.
bool EnterOwnedPopup(WindowRecord& owner, HWND popup);

void PostEvent(WindowRecord& record, int32_t code, uint32_t message, void* source, int32_t value,
               intptr_t data);

// Slot lookups. A slot is valid only when 1 <= slot <= count and in use;
// -1 names the highest slot. A handle names slot n only when slot n holds it.
ControlRecord* FindControl(WindowRecord& record, int32_t slot);
int32_t SlotOfHandle(const WindowRecord& record, HWND handle);

// The enable bits of the state operations, which the busy guard needs
// before the full set of control operations exists: 0x20 enabled, 0x40
// disabled.
inline constexpr uint32_t kStateEnabled = 0x20;
inline constexpr uint32_t kStateDisabled = 0x40;
uint32_t GetControlEnabledState(WindowRecord& record, int32_t slot);
bool SetControlEnabledState(WindowRecord& record, int32_t slot, uint32_t bits);

// The size used for a control's font: −(points × 96 / 72) truncated.
int FontHeightForPoints(double points);

// Gives the window its big and small icons (a null one stays as it is),
// destroys the icons they replace and redraws the frame. The window holds
// the new icons from then on.
void ReplaceWindowIcons(HWND window, HICON big, HICON small);

// The window of the control in `slot`; null when the slot holds none.
HWND ControlHandle(WindowRecord& record, int32_t slot);

}  // namespace cs::toolkit
