// The group preview driven from outside: Compare on a highlighted row of a
// scanned tree of pictures and other files, the window's size and scroll
// bar, scrolling by request and by wheel, the tie between a panel's box and
// the row's tick, thumbnails read back from the screen, placeholders, and
// Compare without a row. The pictures are written here with GDI+; with
// CS_PREVIEW_PICTURES naming a folder of real pictures, a last test shows
// them for the screenshots (CS_SCREENSHOTS).
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
// GDI+ needs the COM property types.
#include <objidl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "app/texts.h"
#include "session.h"

namespace cs::driver {
namespace {

namespace texts = app::texts;
namespace gdip = Gdiplus::DllExports;

constexpr Gdiplus::ARGB kWideColour = 0xFF2050C0;
constexpr Gdiplus::ARGB kTallColour = 0xFF20A040;
constexpr Gdiplus::ARGB kGifColour = 0xFFE02020;

// The Compare entry of the list's context menu comes fifth after the list
// in the program's control table (open location, copy path, a separator
// line, preview, compare); its id is its slot.
int CompareId(HWND list) {
    return GetDlgCtrlID(list) + 5;
}

CLSID EncoderFor(const wchar_t* mime) {
    UINT count = 0;
    UINT size = 0;
    gdip::GdipGetImageEncodersSize(&count, &size);
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    CLSID found{};
    if (size > 0 && gdip::GdipGetImageEncoders(count, size, codecs) == Gdiplus::Ok)
        for (UINT i = 0; i < count; ++i)
            if (lstrcmpiW(codecs[i].MimeType, mime) == 0)
                found = codecs[i].Clsid;
    return found;
}

// A picture of one colour with, when `stripes`, darker stripes so that a
// JPEG of it has something to compress.
void WritePicture(const std::wstring& path, int width, int height, Gdiplus::ARGB colour,
                  const wchar_t* mime, bool stripes = false) {
    Gdiplus::GpBitmap* bitmap = nullptr;
    ASSERT_EQ(
        gdip::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap),
        Gdiplus::Ok);
    Gdiplus::GpGraphics* graphics = nullptr;
    gdip::GdipGetImageGraphicsContext(bitmap, &graphics);
    gdip::GdipGraphicsClear(graphics, colour);
    if (stripes) {
        Gdiplus::GpSolidFill* brush = nullptr;
        gdip::GdipCreateSolidFill(0xFF102030, &brush);
        for (int y = 0; y < height; y += height / 8)
            gdip::GdipFillRectangleI(graphics, brush, 0, y, width, height / 32 + 1);
        gdip::GdipDeleteBrush(brush);
    }
    gdip::GdipDeleteGraphics(graphics);
    const CLSID encoder = EncoderFor(mime);
    EXPECT_EQ(gdip::GdipSaveImageToFile(bitmap, path.c_str(), &encoder, nullptr), Gdiplus::Ok)
        << "cannot write the test picture";
    gdip::GdipDisposeImage(bitmap);
}

// A GIF of one colour, written by hand: Wine's GIF encoder writes no
// image data. Codes stay 3 bits wide because a clear code follows every
// two pixels, before the decoder's table needs a wider code.
std::string GifBytes(int width, int height, Gdiplus::ARGB colour) {
    std::string gif = "GIF89a";
    auto word = [&](int value) {
        gif += static_cast<char>(value & 0xFF);
        gif += static_cast<char>((value >> 8) & 0xFF);
    };
    word(width);
    word(height);
    gif += static_cast<char>(0x80);  // a global table of two colours
    gif += '\0';
    gif += '\0';
    for (int shift : {16, 8, 0})
        gif += static_cast<char>((colour >> shift) & 0xFF);
    gif += std::string(3, '\0');
    gif += ',';
    word(0);
    word(0);
    word(width);
    word(height);
    gif += '\0';
    gif += static_cast<char>(2);  // minimum code size
    constexpr int kClear = 4;
    constexpr int kEnd = 5;
    std::string data;
    uint32_t bits = 0;
    int count = 0;
    auto code = [&](int value) {
        bits |= static_cast<uint32_t>(value) << count;
        count += 3;
        while (count >= 8) {
            data += static_cast<char>(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
    };
    for (int pixel = 0; pixel < width * height; ++pixel) {
        if (pixel % 2 == 0)
            code(kClear);
        code(0);
    }
    code(kEnd);
    if (count > 0)
        data += static_cast<char>(bits & 0xFF);
    for (size_t at = 0; at < data.size(); at += 255) {
        const std::string block = data.substr(at, 255);
        gif += static_cast<char>(block.size());
        gif += block;
    }
    gif += '\0';
    gif += ';';
    return gif;
}

void InFolders(const std::wstring& root, const wchar_t* group, int copies, const wchar_t* name,
               const std::string& bytes) {
    CreateDirectoryW((root + L"\\" + group).c_str(), nullptr);
    for (int i = 1; i <= copies; ++i) {
        const std::wstring folder = root + L"\\" + group + L"\\" + std::to_wstring(i);
        CreateDirectoryW(folder.c_str(), nullptr);
        WriteFile(folder + L"\\" + name, bytes);
    }
}

// Groups of byte-identical copies under one name each, which the start-up
// criteria (same size, similar names) group: two wide PNGs, four striped
// JPEGs, two tall BMPs, two GIFs, two JPEGs cut in half, two text files,
// two 12-megapixel JPEGs and 150 text files.
std::wstring MakePictureTree() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root =
        std::wstring(temp) + L"cs-driver-preview-" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(root);
    CreateDirectoryW(root.c_str(), nullptr);
    const std::wstring scratch = root + L"\\scratch.tmp";
    auto encoded = [&](int width, int height, Gdiplus::ARGB colour, const wchar_t* mime,
                       bool stripes) {
        WritePicture(scratch, width, height, colour, mime, stripes);
        std::string bytes = ReadFileBytes(scratch);
        DeleteFileW(scratch.c_str());
        return bytes;
    };
    InFolders(root, L"wide", 2, L"wide.png", encoded(256, 64, kWideColour, L"image/png", false));
    InFolders(root, L"four", 4, L"photo.jpg", encoded(240, 180, 0xFFC08040, L"image/jpeg", true));
    InFolders(root, L"tall", 2, L"tall.bmp", encoded(64, 256, kTallColour, L"image/bmp", false));
    InFolders(root, L"gif", 2, L"square.gif", GifBytes(100, 100, kGifColour));
    std::string cut = encoded(240, 180, 0xFF4080C0, L"image/jpeg", true);
    cut.resize(cut.size() / 2);
    InFolders(root, L"cut", 2, L"cut.jpg", cut);
    InFolders(root, L"text", 2, L"notes.txt", "These are notes, not a picture.\r\n");
    InFolders(root, L"big", 2, L"big.jpg", encoded(4000, 3000, 0xFF808020, L"image/jpeg", true));
    InFolders(root, L"many", 150, L"many.txt", "one of many\r\n");
    return root;
}

// The pixels of a screen rectangle, 0x00RRGGBB, row by row.
std::vector<uint32_t> ScreenPixels(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);
    const auto* source = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = source[i] & 0x00FFFFFF;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

bool Near(uint32_t pixel, Gdiplus::ARGB colour, int tolerance = 24) {
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) -
                     static_cast<int>((colour >> shift) & 0xFF)) > tolerance)
            return false;
    return true;
}

// What a preview window shows, read from outside.
struct Shown {
    HWND window = nullptr;
    HWND pane = nullptr;
    std::vector<HWND> boxes;
    std::vector<HWND> indexLabels;
    std::vector<HWND> edits;       // size, parent, name of each panel
    std::vector<HWND> thumbnails;  // the picture or placeholder of each panel
};

bool ById(HWND a, HWND b) {
    return GetDlgCtrlID(a) < GetDlgCtrlID(b);
}

RECT RectInPane(HWND pane, HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, pane, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

Shown ReadPreview(HWND window) {
    Shown shown;
    shown.window = window;
    shown.pane = FindChild(window, L"_WINSUB_ WINDOW");
    if (shown.pane == nullptr)
        return shown;
    for (HWND box : Children(shown.pane, L"Button"))
        if (TextOf(box) == texts::kCheckedForRemoval)
            shown.boxes.push_back(box);
    for (HWND label : Children(shown.pane, L"Static")) {
        const std::wstring text = TextOf(label);
        if (text.compare(0, wcslen(texts::kListItemIndex), texts::kListItemIndex) == 0)
            shown.indexLabels.push_back(label);
        const RECT rect = RectInPane(shown.pane, label);
        if (rect.left == 10 && rect.right - rect.left == 128 && rect.bottom - rect.top == 128)
            shown.thumbnails.push_back(label);
    }
    shown.edits = Children(shown.pane, L"Edit");
    for (auto* list : {&shown.boxes, &shown.indexLabels, &shown.edits, &shown.thumbnails})
        std::sort(list->begin(), list->end(), ById);
    return shown;
}

bool IsPicture(HWND control) {
    return (GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP;
}

int PaneTop(const Shown& shown) {
    return RectInPane(shown.window, shown.pane).top;
}

SIZE ClientSize(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

class PreviewWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Gdiplus::GdiplusStartupInput input{};
        Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr);
        tree_ = new std::wstring(MakePictureTree());
        program_ = new Program(L"");
        main_ = new MainWindow(AwaitMain(*program_));
        if (main_->window != nullptr)
            scanned_ = ScanWith(*program_, *main_, *tree_, -1);
    }
    static void TearDownTestSuite() {
        if (main_->window != nullptr && IsWindow(main_->window))
            CloseAndExpectExitCode(*program_, main_->window);
        delete main_;
        delete program_;
        RemoveTree(*tree_);
        delete tree_;
        Gdiplus::GdiplusShutdown(gdiplusToken_);
    }

    void SetUp() override { ASSERT_TRUE(scanned_) << "the picture tree was not scanned"; }
    // A test that stopped half-way leaves no window behind for the next.
    void TearDown() override {
        if (HWND preview = program_->Window(texts::kPreviewClass))
            Close(preview);
        if (HWND box = program_->Window(L"_WINDOW_MsgBoxClass"))
            AnswerBox(box, L"OK");
    }

    static const Program& Running() { return *program_; }
    static const MainWindow& Main() { return *main_; }
    static const std::wstring& Tree() { return *tree_; }

    // The first row of the group whose files are named `name`.
    static int FirstRowOf(const wchar_t* name) {
        const std::vector<RemoteRow> rows = ReadRows(main_->list);
        for (size_t r = 0; r < rows.size(); ++r)
            if (rows[r].texts[1] == name && rows[r].stateImage > 0)
                return static_cast<int>(r);
        return -1;
    }

    // Highlights `row`, gives the Compare command and waits for the window.
    static HWND Compare(int row) {
        HWND preview = nullptr;
        Repeat(
            [&] {
                HighlightRow(main_->list, row);
                PostMessageW(main_->window, WM_COMMAND, MAKEWPARAM(CompareId(main_->list), 1), 0);
            },
            [&] { return (preview = program_->Window(texts::kPreviewClass)) != nullptr; });
        return preview;
    }

    static bool Close(HWND preview) {
        PostMessageW(preview, WM_CLOSE, 0, 0);
        return WaitUntil([&] { return !IsWindow(preview); }) &&
               WaitUntil([&] { return IsWindowEnabled(main_->startScan) != FALSE; });
    }

private:
    static ULONG_PTR gdiplusToken_;
    static std::wstring* tree_;
    static Program* program_;
    static MainWindow* main_;
    static bool scanned_;
};

ULONG_PTR PreviewWindow::gdiplusToken_ = 0;
std::wstring* PreviewWindow::tree_ = nullptr;
Program* PreviewWindow::program_ = nullptr;
MainWindow* PreviewWindow::main_ = nullptr;
bool PreviewWindow::scanned_ = false;

TEST_F(PreviewWindow, TwoMembersFitWithoutScrollingAndShowTheirRows) {
    const int first = FirstRowOf(L"wide.png");
    ASSERT_GE(first, 0);
    const std::vector<RemoteRow> rows = ReadRows(Main().list);
    HWND preview = Compare(first + 1);  // any member opens its group
    ASSERT_NE(preview, nullptr) << "no preview window";
    EXPECT_EQ(TextOf(preview), texts::kPreviewTitle);
    EXPECT_EQ(GetWindow(preview, GW_OWNER), Main().window);
    EXPECT_TRUE(Settles([&] { return ClientSize(preview).cx; }, 630));
    EXPECT_TRUE(Settles([&] { return ClientSize(preview).cy; }, 290));
    EXPECT_EQ(GetWindowLongW(preview, GWL_STYLE) & WS_VSCROLL, 0);
    // Centred over the main window's client area.
    RECT mainClient{};
    GetClientRect(Main().window, &mainClient);
    MapWindowPoints(Main().window, nullptr, reinterpret_cast<POINT*>(&mainClient), 2);
    RECT frame{};
    auto centred = [&] {
        GetWindowRect(preview, &frame);
        return std::abs((frame.left + frame.right) / 2 -
                        (mainClient.left + mainClient.right) / 2) <= 1 &&
               std::abs((frame.top + frame.bottom) / 2 -
                        (mainClient.top + mainClient.bottom) / 2) <= 1;
    };
    WaitUntil(centred);
    EXPECT_NEAR((frame.left + frame.right) / 2, (mainClient.left + mainClient.right) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, (mainClient.top + mainClient.bottom) / 2, 1);
    // The main window's commands wait while the preview is open.
    EXPECT_FALSE(IsWindowEnabled(Main().startScan));

    const Shown shown = ReadPreview(preview);
    ASSERT_NE(shown.pane, nullptr);
    EXPECT_TRUE(Settles([&] { return ClientSize(shown.pane).cx; }, 630));
    EXPECT_TRUE(Settles([&] { return ClientSize(shown.pane).cy; }, 2 * 145 + 5));
    // The scroll range has a single position: the bottom is the top. (Wine
    // does not give a window's scroll information to another process, so
    // the range shows through what it allows.)
    PostMessageW(preview, WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
    PostMessageW(preview, WM_VSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0);
    PostMessageW(preview, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    ASSERT_EQ(shown.indexLabels.size(), 2u);
    ASSERT_EQ(shown.boxes.size(), 2u);
    ASSERT_EQ(shown.edits.size(), 6u);
    for (int k = 0; k < 2; ++k) {
        const RemoteRow& row = rows[first + k];
        EXPECT_EQ(TextOf(shown.indexLabels[k]),
                  std::wstring(texts::kListItemIndex) + std::to_wstring(first + k));
        EXPECT_FALSE(IsChecked(shown.boxes[k]));
        EXPECT_EQ(RectInPane(shown.pane, shown.boxes[k]).top, 5 + 145 * k + 9);
        EXPECT_EQ(TextOf(shown.edits[3 * k]), row.texts[2]);
        const std::wstring& path = row.texts[0];
        EXPECT_EQ(TextOf(shown.edits[3 * k + 1]), path.substr(0, path.rfind(L'\\')));
        EXPECT_EQ(TextOf(shown.edits[3 * k + 2]), L"wide.png");
    }

    // 256 x 64 letterboxed into 128 x 128: 128 x 32 from row 48.
    ASSERT_EQ(shown.thumbnails.size(), 2u);
    HWND picture = shown.thumbnails[0];
    ASSERT_TRUE(IsPicture(picture));
    RECT area{};
    GetWindowRect(picture, &area);
    std::vector<uint32_t> pixels;
    ASSERT_TRUE(WaitUntil([&] {
        pixels = ScreenPixels(area);
        return Near(pixels[64 * 128 + 64], kWideColour);
    })) << "the thumbnail is not on the screen";
    Photograph(L"preview-two");
    std::vector<int> pictureRows;
    for (int y = 0; y < 128; ++y) {
        bool whole = true;
        for (int x = 0; x < 128; ++x)
            whole = whole && Near(pixels[y * 128 + x], kWideColour);
        if (whole)
            pictureRows.push_back(y);
    }
    ASSERT_FALSE(pictureRows.empty());
    EXPECT_EQ(pictureRows.front(), 48);
    EXPECT_EQ(pictureRows.back(), 79);
    EXPECT_EQ(pictureRows.size(), 32u);
    // The margins show the panel, not the picture.
    EXPECT_FALSE(Near(pixels[10 * 128 + 64], kWideColour));
    EXPECT_FALSE(Near(pixels[118 * 128 + 64], kWideColour));

    // A box clicked after them: once its row is ticked, they are done.
    auto stateOf = [&](int row) { return ReadRows(Main().list)[row].stateImage; };
    Click(shown.boxes[0]);
    ASSERT_TRUE(WaitUntil([&] { return stateOf(first) == 2; }));
    EXPECT_EQ(PaneTop(shown), 0);
    Click(shown.boxes[0]);
    ASSERT_TRUE(WaitUntil([&] { return stateOf(first) == 1; }));

    ASSERT_TRUE(Close(preview));
    EXPECT_TRUE(IsWindowEnabled(Main().startScan));
}

TEST_F(PreviewWindow, FourMembersScrollByPanelAndByWheel) {
    const int first = FirstRowOf(L"photo.jpg");
    ASSERT_GE(first, 0);
    HWND preview = Compare(first);
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(Settles([&] { return ClientSize(preview).cx; }, 630));
    EXPECT_TRUE(Settles([&] { return ClientSize(preview).cy; }, 440));
    EXPECT_NE(GetWindowLongW(preview, GWL_STYLE) & WS_VSCROLL, 0);
    const Shown shown = ReadPreview(preview);
    ASSERT_NE(shown.pane, nullptr);
    ASSERT_EQ(shown.boxes.size(), 4u);
    for (HWND thumbnail : shown.thumbnails)
        EXPECT_TRUE(IsPicture(thumbnail));
    EXPECT_EQ(PaneTop(shown), 0);
    Photograph(L"preview-four");

    auto scroll = [&](WORD request, short position = 0) {
        PostMessageW(preview, WM_VSCROLL, MAKEWPARAM(request, static_cast<WORD>(position)), 0);
    };
    auto wheel = [&](short delta) {
        PostMessageW(preview, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0);
    };
    auto settles = [&](int top) { return Settles([&] { return PaneTop(shown); }, top); };
    // The pane's top is the position: 29 pixels a unit from position 1.
    // Range 1 to 20 with a page of 15 leaves positions 1 to 6, one panel:
    // the second page down has nowhere to go, so the line up after it lands
    // one unit above the bottom.
    scroll(SB_PAGEDOWN);
    EXPECT_TRUE(settles(-145));
    scroll(SB_PAGEDOWN);
    scroll(SB_LINEUP);
    EXPECT_TRUE(settles(-116));
    // A thumb position past the end stops at the end.
    scroll(SB_THUMBPOSITION, 100);
    EXPECT_TRUE(settles(-145));
    scroll(SB_TOP);
    EXPECT_TRUE(settles(0));
    scroll(SB_LINEUP);  // already at the top
    scroll(SB_BOTTOM);
    EXPECT_TRUE(settles(-145));

    // The main window's events are dropped meanwhile: the press of "Start a
    // new scan" goes before the wheel below and opens nothing.
    PressImageButton(Main().startScan);
    // One notch up: one unit, 29 pixels.
    wheel(120);
    EXPECT_TRUE(settles(-116));
    EXPECT_EQ(Running().Window(texts::kSetupClass), nullptr);
    // Two half notches scroll once, on the second.
    wheel(60);
    wheel(60);
    EXPECT_TRUE(settles(-87));
    // Three notches up from position 4 stop at the top; one more changes
    // nothing, and a notch down then moves one unit.
    wheel(360);
    wheel(120);
    wheel(-120);
    EXPECT_TRUE(settles(-29));

    ASSERT_TRUE(Close(preview));
}

TEST_F(PreviewWindow, PanelBoxesAndListTicksFollowEachOther) {
    const int first = FirstRowOf(L"photo.jpg");
    ASSERT_GE(first, 0);
    HWND preview = Compare(first);
    ASSERT_NE(preview, nullptr);
    const Shown shown = ReadPreview(preview);
    ASSERT_EQ(shown.boxes.size(), 4u);
    auto stateOf = [&](int row) { return ReadRows(Main().list)[row].stateImage; };

    // Panel 2 is row first + 1, both ways.
    Click(shown.boxes[1]);
    EXPECT_TRUE(WaitUntil([&] { return stateOf(first + 1) == 2; })) << "row not ticked";
    EXPECT_EQ(stateOf(first), 1);
    EXPECT_EQ(stateOf(first + 2), 1);
    Click(shown.boxes[1]);
    EXPECT_TRUE(WaitUntil([&] { return stateOf(first + 1) == 1; })) << "row not unticked";
    Click(shown.boxes[2]);
    EXPECT_TRUE(WaitUntil([&] { return stateOf(first + 2) == 2; }));
    // A tick given in the list shows in its panel.
    TickRow(Main().list, first + 3, true);
    EXPECT_TRUE(WaitUntil([&] { return IsChecked(shown.boxes[3]); }));
    ASSERT_TRUE(Close(preview));

    // Opened again, the boxes start from the rows' ticks.
    preview = Compare(first + 3);
    ASSERT_NE(preview, nullptr);
    const Shown again = ReadPreview(preview);
    ASSERT_EQ(again.boxes.size(), 4u);
    EXPECT_FALSE(IsChecked(again.boxes[0]));
    EXPECT_FALSE(IsChecked(again.boxes[1]));
    EXPECT_TRUE(IsChecked(again.boxes[2]));
    EXPECT_TRUE(IsChecked(again.boxes[3]));
    Click(again.boxes[2]);
    Click(again.boxes[3]);
    EXPECT_TRUE(WaitUntil([&] { return stateOf(first + 2) == 1 && stateOf(first + 3) == 1; }));
    ASSERT_TRUE(Close(preview));
}

TEST_F(PreviewWindow, PicturesOfEachFormatAndPlaceholdersForTheRest) {
    struct Case {
        const wchar_t* name;
        bool picture;
    };
    for (const Case& c : {Case{L"tall.bmp", true}, Case{L"square.gif", true},
                          Case{L"cut.jpg", false}, Case{L"notes.txt", false}}) {
        SCOPED_TRACE(testing::Message() << std::string(c.name, c.name + wcslen(c.name)));
        const int first = FirstRowOf(c.name);
        ASSERT_GE(first, 0);
        HWND preview = Compare(first);
        ASSERT_NE(preview, nullptr);
        const Shown shown = ReadPreview(preview);
        ASSERT_EQ(shown.thumbnails.size(), 2u);
        for (HWND thumbnail : shown.thumbnails) {
            EXPECT_EQ(IsPicture(thumbnail), c.picture);
            if (!c.picture) {
                EXPECT_EQ(TextOf(thumbnail), texts::kPreviewNotAvailable);
            }
        }
        if (std::wstring(c.name) == L"tall.bmp") {
            // 64 x 256: 32 x 128 from column 48.
            RECT area{};
            GetWindowRect(shown.thumbnails[0], &area);
            std::vector<uint32_t> pixels;
            ASSERT_TRUE(WaitUntil([&] {
                pixels = ScreenPixels(area);
                return Near(pixels[64 * 128 + 64], kTallColour);
            }));
            EXPECT_TRUE(Near(pixels[64 * 128 + 49], kTallColour));
            EXPECT_TRUE(Near(pixels[64 * 128 + 78], kTallColour));
            EXPECT_FALSE(Near(pixels[64 * 128 + 40], kTallColour));
            EXPECT_FALSE(Near(pixels[64 * 128 + 88], kTallColour));
        }
        if (std::wstring(c.name) == L"square.gif") {
            RECT area{};
            GetWindowRect(shown.thumbnails[1], &area);
            EXPECT_TRUE(WaitUntil([&] {
                const std::vector<uint32_t> pixels = ScreenPixels(area);
                return Near(pixels[2 * 128 + 2], kGifColour) &&
                       Near(pixels[125 * 128 + 125], kGifColour);
            })) << "a square picture fills the square";
        }
        ASSERT_TRUE(Close(preview));
    }

    // Two 12-megapixel JPEGs: decoded and scaled when the window opens. How
    // long that takes is printed, not judged: a loaded machine can take any
    // time, and Compare's own bounded wait catches a window that never comes.
    const int first = FirstRowOf(L"big.jpg");
    ASSERT_GE(first, 0);
    const ULONGLONG asked = GetTickCount64();
    HWND preview = Compare(first);
    ASSERT_NE(preview, nullptr);
    std::printf("two 12-megapixel thumbnails: %llu ms\n", GetTickCount64() - asked);
    const Shown shown = ReadPreview(preview);
    ASSERT_EQ(shown.thumbnails.size(), 2u);
    EXPECT_TRUE(IsPicture(shown.thumbnails[0]));
    ASSERT_TRUE(Close(preview));
}

TEST_F(PreviewWindow, AGroupLargerThanAHundredShowsAHundredAroundTheRow) {
    const int first = FirstRowOf(L"many.txt");
    ASSERT_GE(first, 0);
    const ULONGLONG asked = GetTickCount64();
    HWND preview = Compare(first + 120);
    ASSERT_NE(preview, nullptr);
    std::printf("a hundred panels: %llu ms\n", GetTickCount64() - asked);
    const Shown shown = ReadPreview(preview);
    ASSERT_EQ(shown.indexLabels.size(), 100u);
    // The last hundred rows of the group hold row first + 120.
    EXPECT_EQ(TextOf(shown.indexLabels.front()),
              std::wstring(texts::kListItemIndex) + std::to_wstring(first + 50));
    EXPECT_EQ(TextOf(shown.indexLabels.back()),
              std::wstring(texts::kListItemIndex) + std::to_wstring(first + 149));
    EXPECT_TRUE(Settles([&] { return ClientSize(shown.pane).cy; }, 100 * 145 + 5));
    // Range 1 to 500, page 15: the bottom is position 486.
    PostMessageW(preview, WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
    EXPECT_TRUE(WaitUntil([&] { return PaneTop(shown) == -485 * 29; }));
    ASSERT_TRUE(Close(preview));
}

TEST_F(PreviewWindow, CompareWithoutAnItemRowAsksForOne) {
    // A separator row cannot stay highlighted, so Compare on one finds no
    // row: no preview, and the box that asks for one.
    const std::vector<RemoteRow> rows = ReadRows(Main().list);
    int separator = -1;
    for (size_t r = 1; r < rows.size() && separator < 0; ++r)
        if (rows[r].stateImage == 0)
            separator = static_cast<int>(r);
    ASSERT_GT(separator, 0);
    HWND box = nullptr;
    Repeat(
        [&] {
            HighlightRow(Main().list, separator);
            PostMessageW(Main().window, WM_COMMAND, MAKEWPARAM(CompareId(Main().list), 1), 0);
        },
        [&] { return (box = AwaitBox(Running(), Main().window, 100)) != nullptr; });
    ASSERT_NE(box, nullptr) << "no message box";
    EXPECT_EQ(Running().Window(texts::kPreviewClass), nullptr);
    EXPECT_EQ(MessageOf(box), texts::kCompareNeedsRow);
    EXPECT_TRUE(AnswerBox(box, L"OK"));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(Main().startScan) != FALSE; }));

    // Alt+C typed with no row highlighted: the accelerator gives the same
    // command.
    SetRowState(Main().list, -1, LVIS_SELECTED | LVIS_FOCUSED, 0);
    box = nullptr;
    Repeat(
        [&] {
            SetForegroundWindow(Main().window);
            INPUT keys[4] = {};
            for (INPUT& key : keys)
                key.type = INPUT_KEYBOARD;
            keys[0].ki.wVk = keys[3].ki.wVk = VK_MENU;
            keys[1].ki.wVk = keys[2].ki.wVk = 'C';
            keys[2].ki.dwFlags = keys[3].ki.dwFlags = KEYEVENTF_KEYUP;
            SendInput(4, keys, sizeof(INPUT));
        },
        [&] { return (box = AwaitBox(Running(), Main().window, 100)) != nullptr; });
    ASSERT_NE(box, nullptr) << "Alt+C showed no message box";
    EXPECT_EQ(MessageOf(box), texts::kCompareNeedsRow);
    Photograph(L"compare-without-row");
    EXPECT_TRUE(AnswerBox(box, L"OK"));
    EXPECT_EQ(Running().Window(texts::kPreviewClass), nullptr);
}

TEST_F(PreviewWindow, RealPicturesForTheScreenshots) {
    char* folder = std::getenv("CS_PREVIEW_PICTURES");
    if (folder == nullptr || *folder == '\0')
        GTEST_SKIP() << "CS_PREVIEW_PICTURES names no folder of pictures";
    // The first two pictures of the folder: the first copied four times,
    // the second twice.
    const std::wstring source(folder, folder + std::strlen(folder));
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((source + L"\\*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    ASSERT_GE(names.size(), 2u);
    const std::wstring root = Tree() + L"-real";
    RemoveTree(root);
    CreateDirectoryW(root.c_str(), nullptr);
    InFolders(root, L"four", 4, names[0].c_str(), ReadFileBytes(source + L"\\" + names[0]));
    InFolders(root, L"two", 2, names[1].c_str(), ReadFileBytes(source + L"\\" + names[1]));
    ASSERT_TRUE(ScanWith(Running(), Main(), root, -1));
    for (int index : {1, 0}) {
        const int first = FirstRowOf(names[index].c_str());
        ASSERT_GE(first, 0);
        HWND preview = Compare(first);
        ASSERT_NE(preview, nullptr);
        const Shown shown = ReadPreview(preview);
        ASSERT_EQ(shown.thumbnails.size(), index == 0 ? 4u : 2u);
        for (HWND thumbnail : shown.thumbnails)
            EXPECT_TRUE(IsPicture(thumbnail));
        Photograph(index == 0 ? L"preview-real-four" : L"preview-real-two");
        if (index == 0) {
            PostMessageW(preview, WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
            EXPECT_TRUE(WaitUntil([&] { return PaneTop(shown) == -145; }));
            Photograph(L"preview-real-four-scrolled");
        }
        ASSERT_TRUE(Close(preview));
    }
    RemoveTree(root);
}

// A tick given in the preview enables "Delete ticked files", although the
// list's tick event went to the preview's wait. Closing the main window
// while the preview waits closes the preview and still ends the program.
TEST(PreviewClose, TicksEnableDeletingAndClosingTheMainWindowEndsTheProgram) {
    const std::wstring tree = MakeTree(L"preview-close");
    Program program(L"");
    ASSERT_TRUE(program.Started());
    MainWindow main = AwaitMain(program);
    ASSERT_NE(main.window, nullptr);
    ASSERT_TRUE(ScanWith(program, main, tree, -1));
    const std::vector<RemoteRow> rows = ReadRows(main.list);
    int item = -1;
    for (size_t r = 0; r < rows.size() && item < 0; ++r)
        if (rows[r].stateImage > 0)
            item = static_cast<int>(r);
    ASSERT_GE(item, 0);
    HWND deleteTicked = ControlAfter(main.pane, texts::kRemovalSection, 3);
    ASSERT_NE(deleteTicked, nullptr);
    ASSERT_FALSE(IsWindowEnabled(deleteTicked));
    auto compare = [&] {
        HWND preview = nullptr;
        Repeat(
            [&] {
                HighlightRow(main.list, item);
                PostMessageW(main.window, WM_COMMAND, MAKEWPARAM(CompareId(main.list), 1), 0);
            },
            [&] { return (preview = program.Window(texts::kPreviewClass)) != nullptr; });
        return preview;
    };
    HWND preview = compare();
    ASSERT_NE(preview, nullptr);
    const Shown shown = ReadPreview(preview);
    ASSERT_FALSE(shown.boxes.empty());
    Click(shown.boxes[0]);
    ASSERT_TRUE(WaitUntil([&] { return ReadRows(main.list)[item].stateImage == 2; }));
    PostMessageW(preview, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(preview); }));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(deleteTicked) != FALSE; }))
        << "a tick given in the preview left the delete button disabled";

    preview = compare();
    ASSERT_NE(preview, nullptr);
    PostMessageW(main.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(preview); }));
    ASSERT_TRUE(program.Ended(60000)) << "the program did not end";
    EXPECT_EQ(program.ExitCode(), 1u);
    RemoveTree(tree);
}

}  // namespace
}  // namespace cs::driver
