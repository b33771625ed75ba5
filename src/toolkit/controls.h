// The controls of a toolkit window: creating each control family (drop-down
// lists, read-only text boxes, links, list views, pictures, push buttons,
// check boxes, radio buttons, edit boxes, labels, rules and the size grip)
// through one creation path into the window's control table, and the
// operations every caller uses on a slot: state, text, rectangle, colours,
// cursor, font, images. Menus (menus.h) and the image button
// (image_button.h) have files of their own and come with this header. It
// does not turn control notifications into events (container.h). Every
// operation takes a slot; -1 names the control created last, and a slot not
// in use makes the operation fail without effect. User-interface thread
// only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <initializer_list>
#include <string>
#include <string_view>

#include "toolkit/drawing.h"
#include "toolkit/handles.h"
#include "toolkit/window.h"
// Menus and the image button have files of their own; a window's code
// needs the one include.
#include "toolkit/image_button.h"
#include "toolkit/menus.h"

namespace cs::toolkit {

// Bits of SetControlState and GetControlState. Of a pair given together the
// first listed in each line wins.
namespace state {
inline constexpr uint32_t kHidden = 0x001;  // hide over show
inline constexpr uint32_t kVisible = 0x002;
inline constexpr uint32_t kChecked = 0x004;  // check over uncheck over indeterminate
inline constexpr uint32_t kUnchecked = 0x008;
inline constexpr uint32_t kIndeterminate = 0x010;
inline constexpr uint32_t kEnabled = kStateEnabled;  // enable over disable
inline constexpr uint32_t kDisabled = kStateDisabled;
inline constexpr uint32_t kFocused = 0x080;  // focus over unfocus
inline constexpr uint32_t kUnfocused = 0x100;
inline constexpr uint32_t kAll = 0x1FF;
}  // namespace state



// What one list-view row carries as its item data (lParam), owned by the row
// and freed when the list deletes the item: its colours (columns may
// override the row's) and, for a row inserted with callback texts
// (LPSTR_TEXTCALLBACKW), the texts of its columns. The list asks for those
// when it draws or is read (LVN_GETDISPINFOW) and keeps no copies: under
// Wine its copies cost five more heap blocks a row, and the list view's own
// arrays, which grow a few entries at a time among them, leave the process
// heap in pieces several times the size of what it holds.
struct ListCellColours {
    int32_t textColour = kDefaultColour;
    int32_t backColour = kDefaultColour;
    UniqueBrush brush;
    UniqueFont font;
    GdipImage image;
};
struct ListRowData {
    ListCellColours row;
    std::unique_ptr<ListCellColours[]> columns;
    int32_t columnCount = 0;
    // The first `textCount` columns' texts one after the other, each ended
    // by a 0.
    std::unique_ptr<wchar_t[]> texts;
    int32_t textCount = 0;
};

// Sent to a list view whose program keeps its rows (LVS_OWNERDATA), by the
// toolkit on the list's behalf: WM_TK_ROW_DISPLAY with the list's request
// for what it draws (an NMLVDISPINFOW*, lParam) to fill in; WM_TK_ROW_DATA
// for the item data of row wParam, which the list itself does not know.
inline constexpr UINT WM_TK_ROW_DISPLAY = 0x0CB0;
inline constexpr UINT WM_TK_ROW_DATA = 0x0CB1;

// A row's item data holding `texts`, one per column from the first; null
// when memory runs out.
ListRowData* NewRowWithTexts(std::initializer_list<std::wstring_view> texts);
// The text of `column`; empty when the row holds no texts or fewer columns.
std::wstring_view RowText(const ListRowData& data, int column);
// Copies the text of `column` of the row `data` (null: none) into a buffer
// of `room` characters, cut to fit and ended by a 0, as a list's request for
// a text wants it; returns the characters copied.
int CopyRowText(const ListRowData* data, int column, wchar_t* buffer, int room);

// Creation. Each returns the new slot, 0 when the table cannot grow, the
// placement's parent is no sub-window or the window cannot be created. The
// placement says where the control goes and how it starts (window.h).
// A drop-down list filled from a "\n"-separated text, first entry
// selected. The closed field sizes itself; the rectangle's height is the
// field's with its list dropped, 0 leaving it to the toolkit.
int32_t CreateDropDownList(WindowRecord& record, const wchar_t* entries, const Placement& at);
// A read-only text box. With any layout flags it spans the window instead
// of the rectangle's x and width, and keeps to both edges.
int32_t CreateTextBox(WindowRecord& record, const Placement& at);
int32_t CreateLink(WindowRecord& record, const wchar_t* text, const Placement& at);
// Report view with check boxes; one left-aligned column per
// "\n"-separated heading, sharing the width less 20 equally. With
// `rowsKeptByProgram` the list keeps no rows of its own (LVS_OWNERDATA):
// whoever keeps them answers the messages above.
int32_t CreateList(WindowRecord& record, const wchar_t* headings, const Placement& at,
                   bool rowsKeptByProgram = false);
// Shows a copy of `bitmap`; the caller keeps its own.
int32_t CreatePicture(WindowRecord& record, HBITMAP bitmap, const Placement& at);
// `image` scaled to the rectangle's size.
int32_t CreateScaledPicture(WindowRecord& record, Gdiplus::GpImage* image, const Placement& at);
int32_t CreatePushButton(WindowRecord& record, const wchar_t* text, const Placement& at);
int32_t CreateCheckBox(WindowRecord& record, const wchar_t* text, const Placement& at);
// The first radio button of a group is placed with groupStart.
int32_t CreateRadioButton(WindowRecord& record, const wchar_t* text, const Placement& at);
int32_t CreateEditBox(WindowRecord& record, const wchar_t* text, const Placement& at);
int32_t CreateLabel(WindowRecord& record, const wchar_t* text, const Placement& at);
// Any standard child control: `style` is complete (WS_CHILD and WS_VISIBLE
// included); the design rectangle is stored as given.
int32_t CreateStandardControl(WindowRecord& record, ControlKind kind, const wchar_t* className,
                              const wchar_t* text, DWORD style, DWORD exStyle, const Placement& at);

// A solid horizontal rule filling the rectangle (a label with a back
// colour of its own).
int32_t CreateHorizontalRule(WindowRecord& record, COLORREF colour, const Placement& at);
// The size grip in the bottom-right corner of `parent` (a sub-window's
// slot, 0 the window itself): drawn by the system, with the diagonal-resize
// cursor; dragging it resizes the top-level window, as a window's own grip
// does, also from inside a pane.
int32_t CreateSizeGrip(WindowRecord& record, int size, int32_t parent);
// Makes the control at `slot` (a picture drawn as a grip, say) act as the
// size grip above: a press on it sizes the top-level window from its
// bottom-right corner, with the diagonal-resize cursor.
bool ActAsSizeGrip(WindowRecord& record, int32_t slot);
// The cursor shown over the control: a system cursor (IDC_HAND, ...) or
// null for the default.
bool SetControlCursor(WindowRecord& record, int32_t slot, const wchar_t* systemCursor);
// Returns the result of the last call made; false when nothing applied.
bool SetControlState(WindowRecord& record, int32_t slot, uint32_t bits);
uint32_t GetControlState(WindowRecord& record, int32_t slot, uint32_t mask);
// Whether a check box, radio button or menu entry is checked.
bool IsControlChecked(WindowRecord& record, int32_t slot);
// Drop-down lists take "\n"-separated entries; an empty text only clears
// the selection.
bool SetControlText(WindowRecord& record, int32_t slot, const wchar_t* text);
// Empty when the slot is free or the control has no text.
std::wstring GetControlText(WindowRecord& record, int32_t slot);
// In the parent's client coordinates.
bool GetControlRect(WindowRecord& record, int32_t slot, ControlRect& rect);
// A COLORREF, kDefaultColour or kNoBrushColour; the last two leave the
// control without a brush of its own, so it is transparent again.
bool SetControlBackColour(WindowRecord& record, int32_t slot, int32_t colour);
bool SetControlTextColour(WindowRecord& record, int32_t slot, int32_t colour);
// Replaces the control's font with one in the window's face and style;
// points below 1 mean 8.5, weight below 1 400.
bool SetControlFont(WindowRecord& record, int32_t slot, double points, int weight);
// `bitmap` stays the caller's; null shows an empty width × height image.
bool SetControlImage(WindowRecord& record, int32_t slot, HBITMAP bitmap, int width, int height);
bool SetLinkPlainColours(WindowRecord& record, int32_t slot);



}  // namespace cs::toolkit
