#include "toolkit/msgbox.h"

#include <commctrl.h>

#include <algorithm>
#include <array>

#include "toolkit/container.h"
#include "toolkit/controls.h"
#include "toolkit/modal.h"

namespace cs::toolkit {

namespace {

using namespace Gdiplus::DllExports;

constexpr wchar_t kBoxClass[] = L"_WINDOW_MsgBoxClass";
constexpr wchar_t kTipClass[] = L"_WndMsgTipClass";
constexpr wchar_t kTitleSeparator[] = L"||";
constexpr wchar_t kDefaultTitle[] = L"Information";
constexpr DWORD kMessageStyle = style::kLabel;
constexpr DWORD kDefaultButtonStyle = style::kDefaultPushButton;
constexpr DWORD kButtonStyle = style::kPushButton;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 25;
constexpr int kMinTipHeight = 70;
constexpr int kRaisedTipHeight = 75;
constexpr int kTipInitialWidth = 200;
constexpr int kMessageWidth = 320;
// What a box needs besides its message: the margin above it and the band
// of buttons below.
constexpr int kBoxChrome = 65;

struct ButtonPlace {
    const wchar_t* label;
    int x;
};
// Left to right per kind; the single "OK" sits right of centre on purpose.
constexpr std::array<std::array<ButtonPlace, 3>, 4> kButtons{{
    {{{L"OK", 225}, {nullptr, 0}, {nullptr, 0}}},
    {{{L"Yes", 66}, {L"No", 212}, {nullptr, 0}}},
    {{{L"OK", 66}, {L"Cancel", 212}, {nullptr, 0}}},
    {{{L"Yes", 30}, {L"No", 140}, {L"Cancel", 250}}},
}};

constexpr std::array<int32_t, 14> kPassiveTipEvents{
    event::kNone,         event::kReserved1, event::kReserved3,    event::kSizeChanged,
    event::kFilesDropped, event::kMaximise,  event::kRightDown,    event::kRightDoubleClick,
    event::kMouseMoved,   event::kWheel,     event::kHoverChanged, event::kNonClientMouseLeft,
    event::kMoving,       event::kListReturn};

bool IsMinimised(HWND window) {
    return (GetWindowLongW(window, GWL_STYLE) & WS_MINIMIZE) != 0;
}

// A box or tip is closed by pressing, so any press on the tip, in its
// frame or through its two accelerators ends it.
bool ClosesTip(UINT message) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONDBLCLK:
        case WM_NCRBUTTONDOWN:
        case WM_NCRBUTTONDBLCLK:
        case WM_CONTEXTMENU:
        case WM_COMMAND:
            return true;
        default:
            return false;
    }
}

LRESULT CALLBACK TipProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                         DWORD_PTR reference) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, TipProc, id);
        return DefSubclassProc(window, message, wParam, lParam);
    }
    // Passed on first: the container turns a right press into a passive
    // event, which would otherwise overwrite the close and keep the tip up.
    const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    auto* box = reinterpret_cast<MsgBox*>(reference);
    if (box->kind == msgbox::kTip && ClosesTip(message))
        PostEvent(box->window, event::kClose, message, window, 0, 0);
    return result;
}

GdipImage PaintTipImage(int width, int height) {
    GdipImage image = CreatePremultipliedBitmap(width, height);
    GdipGraphics graphics;
    if (!image || !graphics.Check(GdipGetImageGraphicsContext(image.Get(), graphics.Put())))
        return GdipImage();
    GdipSetSmoothingMode(graphics.Get(), Gdiplus::SmoothingModeAntiAlias);
    GdipGraphicsClear(graphics.Get(), 0xFF000000);
    GdipPen outline;
    if (outline.Check(GdipCreatePen1(0xFFFFFFFF, 2.0f, Gdiplus::UnitPixel, outline.Put())))
        GdipDrawRectangleI(graphics.Get(), outline.Get(), 1, 1, width - 2, height - 2);
    GdipBrush mark;
    if (mark.Check(GdipCreateSolidFill(0xFF6060FF,
                                       reinterpret_cast<Gdiplus::GpSolidFill**>(mark.Put())))) {
        const Gdiplus::Point corner[] = {{0, 0}, {0, 32}, {32, 0}};
        GdipFillPolygon2I(graphics.Get(), mark.Get(), corner, 3);
    }
    return image;
}

// Each line as the static control will lay it out: measured the way it
// draws (DrawTextW, its own font), with one average character of slack.
// Fitted exactly, the control breaks the line before its last word (Wine
// does, at a width equal to the text's) and clips what wrapped.
std::vector<SIZE> MeasureLines(HWND control, const std::wstring& text) {
    std::vector<SIZE> lines;
    WindowDc dc(control);
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    SelectGuard select(dc.Get(), font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.Get(), &metrics);
    const LONG slack = metrics.tmAveCharWidth > 0 ? metrics.tmAveCharWidth : 4;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L"\r\n", start);
        const std::wstring line =
            text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        RECT area{0, 0, 0, 0};
        DrawTextW(dc.Get(), line.c_str(), static_cast<int>(line.size()), &area,
                  DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS | DT_LEFT);
        const SIZE extent{area.right - area.left + slack, area.bottom - area.top};
        lines.push_back(extent);
        if (end == std::wstring::npos)
            break;
        start = end + 2;
    }
    return lines;
}

void ShowBox(MsgBox& box, HWND ownerWindow, const wchar_t* text, int height, WindowRecord* owner,
             int defaultButton) {
    height = BoxHeightForText(text, height);
    WindowRecord& record = box.window;
    if (CreateToolkitWindow(record, kBoxClass, L"", msgbox::kWidth, height, kCentred, kCentred,
                            WS_POPUP, kDefaultExStyle, ownerWindow) == nullptr)
        return;
    record.fontSize = 9.0;
    record.fontWeight = 400;
    record.fontFace.fill(L'\0');
    wcsncpy(record.fontFace.data(), L"Arial", record.fontFace.size() - 1);
    record.textColour = static_cast<int32_t>(box.textColor);
    ApplyWindowSkin(record, msgbox::kWidth, height, box.frameColor, box.bodyColor,
                    box.buttonBandColor, box.cornerSize);
    CenterWindow(record.window, ownerWindow);
    if (owner != nullptr)
        EnterOwnedPopup(*owner, record.window);

    box.messageId =
        CreateStandardControl(record, ControlKind::kLabel, L"Static", text, kMessageStyle, 0,
                              {.rect = {20, 20, kMessageWidth, height - kBoxChrome}});
    int32_t* ids[] = {&box.firstButtonId, &box.secondButtonId, &box.thirdButtonId};
    const auto& places = kButtons[static_cast<size_t>(box.kind)];
    size_t chosen = 0;
    if (defaultButton >= 1 && defaultButton <= 3 &&
        places[static_cast<size_t>(defaultButton - 1)].label != nullptr)
        chosen = static_cast<size_t>(defaultButton - 1);
    for (size_t i = 0; i < places.size() && places[i].label != nullptr; ++i) {
        const ControlRect button{places[i].x, height - 35, kButtonWidth, kButtonHeight};
        *ids[i] = CreateStandardControl(
            record, ControlKind::kPushButton, L"Button", places[i].label,
            i == chosen ? kDefaultButtonStyle : kButtonStyle, 0, {.rect = button});
    }
    const int32_t chosenId = *ids[chosen];
    if (chosenId > 0)
        SetDefaultButton(record, chosenId);
    ShowToolkitWindow(record, SW_SHOW, show::kUpdate | show::kForeground | show::kActivate);
    if (chosenId > 0)
        SetControlState(record, chosenId, state::kFocused);
}

void ShowTip(MsgBox& box, WindowRecord* owner, HWND ownerWindow, const wchar_t* text, int height) {
    if (owner == nullptr || ownerWindow == nullptr || IsMinimised(ownerWindow))
        return;
    if (height < kMinTipHeight)
        height = kRaisedTipHeight;
    RECT place{};
    GetWindowRect(ownerWindow, &place);
    RECT region{};
    if (GetWindowRgnBox(ownerWindow, &region) != ERROR) {
        place.left += region.left;
        place.top += region.top + 4;
    }
    std::wstring message;
    std::wstring title;
    SplitTipText(text != nullptr ? text : L"", message, title);

    WindowRecord& record = box.window;
    const DWORD exStyle =
        (GetWindowLongW(ownerWindow, GWL_EXSTYLE) & WS_EX_TOPMOST) ? WS_EX_TOPMOST : 0;
    if (CreateToolkitWindow(record, kTipClass, title.c_str(), kTipInitialWidth, height,
                            place.left + 24, place.top + 16, WS_POPUP, exStyle,
                            ownerWindow) == nullptr)
        return;
    EnterOwnedPopup(*owner, record.window);
    record.fontSize = 9.0;
    record.fontWeight = 400;
    record.fontFace.fill(L'\0');
    wcsncpy(record.fontFace.data(), L"Segoe UI", record.fontFace.size() - 1);
    record.textColour = 0xFFFFFF;

    box.messageId = CreateStandardControl(record, ControlKind::kLabel, L"Static", message.c_str(),
                                          kMessageStyle, 0, {.rect = {10, 35, 180, height - 45}});
    ControlRecord* messageControl = FindControl(record, box.messageId);
    SIZE size{75, 16 + 45};
    int textHeight = 16;
    if (messageControl != nullptr) {
        const std::vector<SIZE> lines = MeasureLines(messageControl->handle, message);
        size = TipSizeForLines(lines);
        textHeight = size.cy - 45;
    }
    SetWindowPos(record.window, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_NOZORDER);
    if (messageControl != nullptr)
        SetWindowPos(messageControl->handle, nullptr, 0, 0, size.cx - 20, textHeight,
                     SWP_NOMOVE | SWP_NOOWNERZORDER | SWP_NOZORDER);
    // The transparent statics on it are painted with the part behind them.
    RECT client{};
    GetClientRect(record.window, &client);
    InstallSkin(record, PaintTipImage(size.cx, size.cy), client.right, client.bottom);

    const int32_t titleId = CreateStandardControl(
        record, ControlKind::kLabel, L"Static", title.c_str(), kMessageStyle, 0,
        {.rect = {35, 6, size.cx - 35, 20}, .font = {.points = 12.0, .weight = 400}});
    ACCEL keys[] = {{FVIRTKEY, VK_ESCAPE, static_cast<WORD>(box.messageId)},
                    {FVIRTKEY, VK_RETURN, static_cast<WORD>(titleId)}};
    record.accelerators.Reset(CreateAcceleratorTableW(keys, 2));

    ShowToolkitWindow(record, SW_SHOWNA, show::kUpdate);
    SetWindowSubclass(record.window, TipProc, 1, reinterpret_cast<DWORD_PTR>(&box));
}

}  // namespace

MsgBox::~MsgBox() {
    if (window.window != nullptr) {
        kind = msgbox::kNone;
        DestroyToolkitWindow(window);
    }
}

SIZE TipSizeForLines(const std::vector<SIZE>& lines) {
    LONG width = 75;
    LONG lineHeight = 16;
    for (const SIZE& line : lines) {
        width = std::max(width, line.cx + 20);
        lineHeight = std::max(lineHeight, line.cy);
    }
    const auto count = static_cast<LONG>(std::max<size_t>(lines.size(), 1));
    return {width, count * lineHeight + 45};
}

void SplitTipText(const std::wstring& text, std::wstring& message, std::wstring& title) {
    const size_t separator = text.find(kTitleSeparator);
    if (separator == std::wstring::npos) {
        message = text;
        title = kDefaultTitle;
        return;
    }
    message = text.substr(0, separator);
    title = text.substr(separator + 2);
}

int BoxHeightForText(const wchar_t* text, int height) {
    if (text == nullptr || *text == L'\0')
        return height;
    // The message control's font and width, as ShowBox makes them.
    UniqueFont font(CreateFontW(FontHeightForPoints(9.0), 0, 0, 0, 400, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_OUTLINE_PRECIS, 0, PROOF_QUALITY, 0,
                                L"Arial"));
    WindowDc dc(nullptr);
    SelectGuard select(dc.Get(), font.Get());
    RECT area{0, 0, kMessageWidth, 0};
    DrawTextW(dc.Get(), text, -1, &area, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_LEFT);
    // Below the text: the band of buttons; one line of slack, since the
    // control may break a line a little earlier than measured.
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.Get(), &metrics);
    const int needed = static_cast<int>(area.bottom) + kBoxChrome + metrics.tmHeight;
    return std::max(height, needed);
}

MsgBox& MsgBoxShow(MsgBox& box, WindowRecord* owner, const wchar_t* text, msgbox::Kind kind,
                   int height, int defaultButton) {
    if (box.window.window != nullptr) {
        ShowWindow(box.window.window, SW_HIDE);
        DestroyToolkitWindow(box.window);
    }
    box.messageId = box.firstButtonId = box.secondButtonId = box.thirdButtonId = -1;
    HWND ownerWindow = nullptr;
    if (owner != nullptr) {
        box.savedEventSlot = owner->events;
        box.window.events = owner->events != nullptr ? owner->events : &box.ownEvents;
        ownerWindow = owner->window;
        if (ownerWindow != nullptr && IsMinimised(ownerWindow))
            ShowWindow(ownerWindow, SW_RESTORE);
        if (ownerWindow != nullptr && !IsWindowVisible(ownerWindow))
            ownerWindow = nullptr;
    } else {
        box.savedEventSlot = &box.ownEvents;
        box.window.events = &box.ownEvents;
    }
    if (kind < msgbox::kOk || kind > msgbox::kTip) {
        box.kind = msgbox::kNone;
        return box;
    }
    box.kind = kind;
    box.reserved = 0;
    if (kind == msgbox::kTip)
        ShowTip(box, owner, ownerWindow, text, height);
    else
        ShowBox(box, ownerWindow, text != nullptr ? text : L"", height, owner, defaultButton);
    return box;
}

int32_t MsgBoxAnswer(const MsgBox& box, const EventRecord& events) {
    const Event e = ReadEvent(events);
    if (box.window.window == nullptr || e.window != &box.window || e.kind != event::kCommand)
        return msgbox::kNoAnswer;
    // Escape reaches the box as IDCANCEL, which is the slot of its first
    // button: read literally it would answer "Yes" to a question the user
    // meant to refuse.
    const MSG& message = events.messageCopy;
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        if (box.kind == msgbox::kYesNo)
            return msgbox::kNo;
        return box.kind == msgbox::kOk ? msgbox::kFirst : msgbox::kRefused;
    }
    if (e.IsCommand(box.firstButtonId))
        return msgbox::kFirst;
    if (e.IsCommand(box.secondButtonId))
        return box.kind == msgbox::kYesNo ? msgbox::kNo : msgbox::kRefused;
    if (e.IsCommand(box.thirdButtonId))
        return msgbox::kRefused;
    return msgbox::kNoAnswer;
}

int32_t MsgBoxAsk(MsgBox& box, const wchar_t* text, msgbox::Kind kind, WindowRecord* owner,
                  WindowRecord* mainWindow, EventPump pump, void* context, int defaultButton) {
    if (owner == nullptr && mainWindow != nullptr && mainWindow->window != nullptr &&
        IsWindowVisible(mainWindow->window))
        owner = mainWindow;
    MsgBoxShow(box, owner, text, kind, msgbox::kHeight, defaultButton);
    if (kind == msgbox::kTip)
        return 1;
    int32_t answer = msgbox::kPumpEnded;
    EventRecord& events = *box.window.events;
    // A box that could not be built has nothing to press; waiting for it
    // would hang the caller.
    while (box.window.window != nullptr) {
        const bool going = pump != nullptr ? pump(events, context) : WaitEvent(events);
        if (!going)
            break;
        const int32_t given = MsgBoxAnswer(box, events);
        if (given != msgbox::kNoAnswer) {
            answer = given;
            break;
        }
    }
    MsgBoxClose(box);
    if (owner != nullptr && owner->window != nullptr && owner->events != nullptr &&
        GetForegroundWindow() == owner->window)
        owner->events->activeWindow = owner;
    return answer;
}

void MsgBoxClose(MsgBox& box) {
    box.kind = msgbox::kNone;
    if (box.window.window != nullptr)
        CloseDialog(box.window);
}

int32_t SetDefaultButton(WindowRecord& record, int32_t slot) {
    if (slot == -1)
        slot = record.count;
    if (slot != 0 && slot == record.defaultButton)
        return slot;
    if (slot == 0) {
        record.defaultButton = 0;
        return 0;
    }
    ControlRecord* control = FindControl(record, slot);
    if (control == nullptr)
        return 0;
    if (control->kind == ControlKind::kMenuEntry || control->kind == ControlKind::kSubmenuEntry) {
        return control->menu != nullptr &&
                       SetMenuDefaultItem(control->menu, static_cast<UINT>(slot), FALSE)
                   ? slot
                   : 0;
    }
    const int32_t previous = record.defaultButton;
    auto setDefaultBit = [](HWND button, bool on) {
        const LONG style = GetWindowLongW(button, GWL_STYLE);
        SetWindowLongW(button, GWL_STYLE,
                       on ? (style | BS_DEFPUSHBUTTON) : (style & ~BS_DEFPUSHBUTTON));
        RECT rect{};
        GetWindowRect(button, &rect);
        MapWindowPoints(nullptr, GetParent(button), reinterpret_cast<POINT*>(&rect), 2);
        InvalidateRect(GetParent(button), &rect, TRUE);
    };
    if (ControlRecord* old = FindControl(record, previous);
        old != nullptr && old->kind == ControlKind::kPushButton && previous != slot)
        setDefaultBit(old->handle, false);
    record.defaultButton = slot;
    if (control->kind == ControlKind::kPushButton)
        setDefaultBit(control->handle, true);
    return previous;
}

bool IsPassiveTipEvent(int32_t code) {
    return std::find(kPassiveTipEvents.begin(), kPassiveTipEvents.end(), code) !=
           kPassiveTipEvents.end();
}

bool CloseTipOnEvent(MsgBox& box, EventRecord& events) {
    if (box.kind != msgbox::kTip || box.window.window == nullptr ||
        !IsWindowVisible(box.window.window) || IsPassiveTipEvent(events.code))
        return false;
    const bool own = events.window == &box.window;
    MsgBoxClose(box);
    // The tip's own close (a click on it, Escape, Return) has done all it
    // asks for; left in place, a loop that leaves on code -6 would end.
    if (own) {
        events.code = 0;
        events.close = 0;
    }
    return true;
}

}  // namespace cs::toolkit
