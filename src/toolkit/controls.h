// The controls of a toolkit window: creating each control family (image
// buttons, drop-down lists, read-only text boxes, links, list views,
// pictures, push buttons, check boxes, radio buttons, edit boxes, labels and
// menu entries) into the window's control table, and the operations every
// caller uses on a slot: state, text, rectangle, colours, font, images,
// menus. Also the image button itself: painting its faces, switching them
// and the subclass that makes it behave like a push button. It does not turn
// control notifications into events (container.h) and attaches tips through
// tooltips.h. Every operation takes a slot; -1 names the control created
// last, and a slot not in use makes the operation fail without effect.
// User-interface thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "toolkit/drawing.h"
#include "toolkit/handles.h"
#include "toolkit/window.h"

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

// Faces of an image button, in the order of its state block.
namespace face {
inline constexpr int32_t kNormal = 0;
inline constexpr int32_t kHover = 1;
inline constexpr int32_t kFocused = 2;
inline constexpr int32_t kDisabled = 3;
inline constexpr int32_t kLocked = 4;
}  // namespace face

// AddMenuEntry flags.
namespace menu_entry {
inline constexpr uint32_t kCheck = 0x01;
inline constexpr uint32_t kRadio = 0x02;
inline constexpr uint32_t kSubmenu = 0x04;
inline constexpr uint32_t kSeparator = 0x08;
inline constexpr uint32_t kItemBitmap = 0x10;
inline constexpr int32_t kAppend = 99;
}  // namespace menu_entry

// Colours of one list-view row (the item's lParam), owned by the row and
// freed when the list deletes the item. Columns may override the row.
struct ListCellColours {
    int32_t textColour = kDefaultColour;
    int32_t backColour = kDefaultColour;
    UniqueBrush brush;
    UniqueFont font;
    GdipImage image;
};
struct ListRowColours {
    ListCellColours row;
    std::unique_ptr<ListCellColours[]> columns;
    int32_t columnCount = 0;
};

// How an image button's faces are painted; the defaults are the toolkit's.
struct ImageButtonStyle {
    float fontSize = 14.0f;  // pixels
    float padding = 4.0f;
    int32_t cornerSize = 12;  // diameter of the corner arcs; below 1 square
    Argb normalStart = 0xFF606070;
    Argb normalEnd = 0xFF202030;
    Argb hoverStart = 0xFF808090;
    Argb hoverEnd = 0xFF404050;
    Argb normalBorder = 0xA09F9F9F;
    Argb hoverBorder = 0xE0EFEFEF;
    Argb caption = 0xFFFFFFFF;  // alpha is always made opaque
    int32_t disabledLook = kDisabledFaded;
};

inline constexpr int kImageButtonWidth = 160;

struct ControlRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Creation. Each returns the new slot, 0 when the table cannot grow or the
// window cannot be created. While the window's group flag is set the new
// control starts a group (WS_GROUP).
int32_t CreateImageButton(WindowRecord& record, int y, int height);
// A drop-down list filled from a "\n"-separated text, first entry
// selected. Its height is the closed field's, which the list chooses.
int32_t CreateDropDownList(WindowRecord& record, const wchar_t* entries, int x, int y, int width);
int32_t CreateTextBox(WindowRecord& record, int x, int width, int height);
int32_t CreateLink(WindowRecord& record, const wchar_t* text, int y, int width);
// Report view with check boxes at (0, 0); one left-aligned column per
// "\n"-separated heading, sharing width - 20 equally.
int32_t CreateList(WindowRecord& record, int width, int height, const wchar_t* headings);
// Shows a copy of `bitmap`; the caller keeps its own.
int32_t CreatePicture(WindowRecord& record, HBITMAP bitmap, int x, int y, int width, int height);
int32_t CreateScaledPicture(WindowRecord& record, Gdiplus::GpImage* image, int x, int y, int width,
                            int height);
int32_t CreatePushButton(WindowRecord& record, const wchar_t* text, int x, int y, int width,
                         int height);
int32_t CreateCheckBox(WindowRecord& record, const wchar_t* text, int x, int y, int width,
                       int height);
// The first radio button of a group passes groupStart.
int32_t CreateRadioButton(WindowRecord& record, const wchar_t* text, int x, int y, int width,
                          int height, bool groupStart);
int32_t CreateEditBox(WindowRecord& record, const wchar_t* text, int x, int y, int width,
                      int height);
int32_t CreateLabel(WindowRecord& record, const wchar_t* text, int x, int y, int width, int height);
// Any standard child control: `style` is complete (WS_CHILD and WS_VISIBLE
// included); the design rectangle is stored as given.
int32_t CreateStandardControl(WindowRecord& record, ControlKind kind, const wchar_t* className,
                              const wchar_t* text, DWORD style, DWORD exStyle, int x, int y,
                              int width, int height);

// A solid horizontal rule `thickness` pixels high (a label with a back
// colour of its own).
int32_t CreateHorizontalRule(WindowRecord& record, int x, int y, int width, int thickness,
                             COLORREF colour);
// The size grip in the bottom-right corner of the current parent: drawn by
// the system, with the diagonal-resize cursor; dragging it resizes the
// top-level window, as a window's own grip does, also from inside a pane.
int32_t CreateSizeGrip(WindowRecord& record, int size);
// The cursor shown over the control: a system cursor (IDC_HAND, ...) or
// null for the default.
bool SetControlCursor(WindowRecord& record, int32_t slot, const wchar_t* systemCursor);
// Returns the result of the last call made; false when nothing applied.
bool SetControlState(WindowRecord& record, int32_t slot, uint32_t bits);
uint32_t GetControlState(WindowRecord& record, int32_t slot, uint32_t mask);
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
// On the control created last; points below 1 mean 8.5, weight below 1 400.
bool SetControlFont(WindowRecord& record, double points, int weight);
// `bitmap` stays the caller's; null shows an empty width × height image.
bool SetControlImage(WindowRecord& record, int32_t slot, HBITMAP bitmap, int width, int height);
bool SetLinkPlainColours(WindowRecord& record, int32_t slot);

// A popup menu owned by control `slot` (replacing its previous one), with
// its first entry; returns the entry's slot.
int32_t CreateAttachedMenu(WindowRecord& record, int32_t slot, const wchar_t* text, HBITMAP bitmap);
// Owner 0 is the window menu, -1 the control created last (its popup menu,
// or the submenu of a submenu entry). Position kAppend appends. The bitmaps
// stay the caller's and must outlive the entry.
int32_t AddMenuEntry(WindowRecord& record, int32_t ownerSlot, const wchar_t* text, int32_t position,
                     uint32_t flags, HBITMAP checkedBitmap, HBITMAP uncheckedBitmap);

// Paints the four faces of an image button (160 × height), hands them over,
// gives the button the hand cursor and, with a tip text, a tooltip. `style`
// null means the defaults.
bool PaintImageButton(WindowRecord& record, int32_t slot, const wchar_t* caption,
                      Gdiplus::GpImage* icon, int height, const wchar_t* tip,
                      const ImageButtonStyle* style);
// Converts the faces (any may be null), replacing the old ones, and shows
// the normal face.
bool SetImageButtonImages(WindowRecord& record, int32_t slot, Gdiplus::GpImage* normal,
                          Gdiplus::GpImage* hover, Gdiplus::GpImage* focused,
                          Gdiplus::GpImage* disabled);
// Shows face `state` by the rules of the image button.
bool SetImageButtonState(WindowRecord& record, int32_t slot, int32_t state, bool respectDisabled);

}  // namespace cs::toolkit
