// The program's own message box, in its two forms: the box (a framed popup
// with a message and one to three buttons, waited on for an answer) and the
// tip (a small black popup at its owner's top-left corner that vanishes at
// the next user action). One MsgBox record serves both; showing replaces
// what is open. Also the default-button operation and the rule by which an
// event pump closes an open tip. It never uses the system message box and
// runs no pump of its own except the answer wait of MsgBoxAsk.
// User-interface thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/drawing.h"
#include "toolkit/window.h"

namespace cs::toolkit {

// MsgBoxShow kinds.
namespace msgbox {
enum Kind : int32_t {
    kNone = -1,  // nothing open
    kOk = 0,
    kYesNo = 1,
    kOkCancel = 2,
    kYesNoCancel = 3,
    kTip = 4,
};
// MsgBoxAsk's answers.
enum Answer : int32_t {
    kFirst = 1,    // "OK" or "Yes"
    kNo = 0,       // "No" in a Yes/No box
    kRefused = -1, // "Cancel", or "No" in a Yes/No/Cancel box
    kNoAnswer = -2,  // MsgBoxAnswer: the event answers nothing
    kPumpEnded = -1000,  // the pump ended before a button was pressed
};
// The height every caller passes.
inline constexpr int kHeight = 150;
inline constexpr int kWidth = 360;
}  // namespace msgbox

struct MsgBox {
    MsgBox() = default;
    ~MsgBox();
    MsgBox(const MsgBox&) = delete;
    MsgBox& operator=(const MsgBox&) = delete;

    int32_t messageId = -1;
    int32_t firstButtonId = -1;
    int32_t secondButtonId = -1;
    int32_t thirdButtonId = -1;
    msgbox::Kind kind = msgbox::kNone;
    int32_t reserved = 0;
    Argb frameColor = 0xFF000000;
    Argb bodyColor = 0xFFFFFFFF;
    Argb buttonBandColor = 0xFFF0F0FF;
    uint32_t textColor = 0;  // COLORREF
    int32_t cornerSize = 12;
    EventRecord* savedEventSlot = nullptr;
    WindowRecord window;
    // The box's events when it has no owner to share them with.
    EventRecord ownEvents;
};

// Shows a box (kinds 0 to 3) or a tip (kind 4) and returns at once. A tip
// needs a visible, non-minimised owner and is silently not shown otherwise.
// A box grows past `height` when its text needs more lines. `defaultButton`
// (1 to 3, left to right) is the button Return presses and the focus
// starts on.
MsgBox& MsgBoxShow(MsgBox& box, WindowRecord* owner, const wchar_t* text, msgbox::Kind kind,
                   int height = msgbox::kHeight, int defaultButton = 1);

// One step of the event pump a wait runs; false when the pump has ended.
// Null stands for the toolkit's WaitEvent.
using EventPump = bool (*)(EventRecord& events, void* context);

// Shows the box and waits for its answer: first button 1, second 0 in a
// kind-1 box and -1 otherwise, third -1; Escape gives the answer of the last
// button; kPumpEnded when the pump ended. A tip answers 1 at once. Without
// an owner, `mainWindow` is the owner while it is visible.
int32_t MsgBoxAsk(MsgBox& box, const wchar_t* text, msgbox::Kind kind, WindowRecord* owner,
                  WindowRecord* mainWindow = nullptr, EventPump pump = nullptr,
                  void* context = nullptr, int defaultButton = 1);
// The answer the current event gives to the open box, or kNoAnswer. For
// callers that run the answer wait inline.
int32_t MsgBoxAnswer(const MsgBox& box, const EventRecord& events);
// Closes what is open and puts the shared EventRecord back as it was.
void MsgBoxClose(MsgBox& box);

// Makes `slot` the window's default button (-1 the last control, 0 none);
// returns the previous default, or the slot itself when it already was.
int32_t SetDefaultButton(WindowRecord& record, int32_t slot);

// Events that leave an open tip alone (moves, hovering, sizes, wheels...).
bool IsPassiveTipEvent(int32_t code);
// For the event pump: closes an open, visible tip at the first event that is
// not passive, restoring the event so it still takes effect; the tip's own
// events (its close) are used up by closing it and leave code 0. True when
// it closed the tip.
bool CloseTipOnEvent(MsgBox& box, EventRecord& events);

// The height a box of `height` needs for `text` at the box's width and
// font: `height` when the text fits.
int BoxHeightForText(const wchar_t* text, int height);

// The tip's size for its measured lines: width the widest line + 20 (at
// least 75), height lines × line height + 45 with lines at least 16 high.
SIZE TipSizeForLines(const std::vector<SIZE>& lines);
// Message and title of a tip text "message||title" (title "Information").
void SplitTipText(const std::wstring& text, std::wstring& message, std::wstring& title);

}  // namespace cs::toolkit
