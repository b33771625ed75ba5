#include "app/setup_window.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <array>

#include "app/main_window.h"
#include "app/texts.h"
#include "engine/options.h"
#include "platform/dir.h"
#include "platform/text.h"
#include "platform/win32/com.h"
#include "toolkit/container.h"
#include "toolkit/controls.h"
#include "toolkit/modal.h"
#include "toolkit/msgbox.h"

namespace cs::app {

namespace {

using namespace toolkit;
using engine::ContentChoice;
using engine::NameChoice;
using platform::win32::ComPtr;
using platform::win32::UniqueCoTaskMem;
using platform::win32::UniquePidl;

constexpr int kClientWidth = 650;
constexpr int kClientHeight = 550;
constexpr DWORD kStyle = style::kFixedFrame;
constexpr COLORREF kBackground = 0xFDFDFF;  // red 255, green 253, blue 253
constexpr COLORREF kRuleColour = 0x101010;

struct SetupSlots {
    int32_t root = 0;
    int32_t browse = 0;
    int32_t recursive = 0;
    int32_t similarFolders = 0;
    int32_t presets = 0;
    int32_t sameSize = 0;
    std::array<int32_t, 4> names{};     // similar, exact, extension, none
    std::array<int32_t, 3> contents{};  // similar, exact, none
    int32_t allFiles = 0;
    std::array<int32_t, engine::kFileTypeCount> types{};
    int32_t extensions = 0;
    int32_t zeroByte = 0;
    int32_t cancel = 0;
    int32_t instructions = 0;
    int32_t start = 0;
};

struct Setup {
    MainWindow& main;
    WindowRecord record;
    SetupSlots s;
};

void SetChecked(WindowRecord& record, int32_t slot, bool on) {
    SetControlState(record, slot, on ? state::kChecked : state::kUnchecked);
}

void SectionLabel(WindowRecord& record, const wchar_t* text, int y, int height) {
    CreateLabel(record, text,
                {.rect = {10, y, 180, height}, .font = {.points = 9.0, .weight = 800}});
    CreateHorizontalRule(record, kRuleColour, {.rect = {190, y + 7, 450, 2}});
}

// The setup window has no panes and no layout: its controls sit in the
// window itself, in the window's font.
Placement At(int x, int y, int width, int height) {
    return {.rect = {x, y, width, height}};
}

// The first radio button of a group of choices.
Placement FirstChoiceAt(int x, int y, int width, int height) {
    return {.rect = {x, y, width, height}, .groupStart = true};
}

void CreateControls(Setup& setup) {
    WindowRecord& r = setup.record;
    SetupSlots& s = setup.s;
    SectionLabel(r, texts::kRootSection, 10, 20);
    s.root = CreateEditBox(r, L"", At(10, 30, 565, 20));
    s.browse = CreatePushButton(r, texts::kBrowse, At(580, 29, 60, 21));
    s.recursive = CreateCheckBox(r, texts::kRecursive, At(10, 55, 305, 18));
    s.similarFolders = CreateCheckBox(r, texts::kSimilarFolders, At(335, 55, 305, 18));
    SectionLabel(r, texts::kPresetSection, 85, 18);
    const std::wstring presets = platform::ToNative(engine::PresetListText());
    s.presets = CreateDropDownList(r, presets.c_str(), At(10, 110, 545, 0));
    SectionLabel(r, texts::kNamesSection, 145, 18);
    s.sameSize = CreateCheckBox(r, texts::kSameSize, At(10, 170, 630, 18));
    s.names[0] = CreateRadioButton(r, texts::kSimilarNames, FirstChoiceAt(10, 195, 630, 18));
    s.names[1] = CreateRadioButton(r, texts::kExactNames, At(10, 220, 630, 18));
    s.names[2] = CreateRadioButton(r, texts::kSameExtension, At(10, 245, 630, 18));
    s.names[3] = CreateRadioButton(r, texts::kNoNames, At(10, 270, 630, 18));
    SectionLabel(r, texts::kContentsSection, 300, 18);
    s.contents[0] = CreateRadioButton(r, texts::kSimilarContents, FirstChoiceAt(10, 325, 630, 18));
    s.contents[1] = CreateRadioButton(r, texts::kExactContents, At(10, 350, 630, 18));
    s.contents[2] = CreateRadioButton(r, texts::kNoContents, At(10, 375, 630, 18));
    SectionLabel(r, texts::kTypesSection, 405, 18);
    s.allFiles = CreateRadioButton(r, texts::kAllFiles, FirstChoiceAt(10, 430, 90, 18));
    const int typeX[engine::kFileTypeCount] = {120, 210, 300, 390, 480};
    for (int t = 0; t < engine::kFileTypeCount; ++t) {
        const std::wstring label =
            platform::ToNative(std::u16string(engine::TypeLabel(static_cast<engine::FileType>(t))));
        s.types[t] = CreateCheckBox(r, label.c_str(), At(typeX[t], 430, 90, 18));
    }
    CreateLabel(r, texts::kExtensionsLabel, At(10, 457, 300, 18));
    s.extensions = CreateEditBox(r, L"", At(310, 455, 330, 20));
    SectionLabel(r, texts::kStartSection, 485, 18);
    s.zeroByte = CreateCheckBox(r, texts::kListZeroByte, At(10, 520, 160, 18));
    s.cancel = CreatePushButton(r, texts::kCancel, At(250, 514, 100, 26));
    s.instructions = CreatePushButton(r, texts::kInstructions, At(370, 514, 100, 26));
    s.start = CreatePushButton(r, texts::kStartNow, At(490, 511, 140, 32));
}

void ShowChoices(Setup& setup, const engine::SetupChoices& c) {
    WindowRecord& r = setup.record;
    const SetupSlots& s = setup.s;
    SetChecked(r, s.sameSize, c.sameSize);
    for (int i = 0; i < 4; ++i)
        SetChecked(r, s.names[i], static_cast<int>(c.names) == i);
    for (int i = 0; i < 3; ++i)
        SetChecked(r, s.contents[i], static_cast<int>(c.contents) == i);
}

NameChoice ShownNames(Setup& setup) {
    for (int i = 0; i < 4; ++i)
        if (IsControlChecked(setup.record, setup.s.names[i]))
            return static_cast<NameChoice>(i);
    return NameChoice::None;
}

ContentChoice ShownContents(Setup& setup) {
    for (int i = 0; i < 3; ++i)
        if (IsControlChecked(setup.record, setup.s.contents[i]))
            return static_cast<ContentChoice>(i);
    return ContentChoice::None;
}

engine::SetupChoices ReadChoices(Setup& setup) {
    WindowRecord& r = setup.record;
    const SetupSlots& s = setup.s;
    engine::SetupChoices c;
    c.recursive = IsControlChecked(r, s.recursive);
    c.similarFolders = IsControlChecked(r, s.similarFolders);
    c.sameSize = IsControlChecked(r, s.sameSize);
    c.names = ShownNames(setup);
    c.contents = ShownContents(setup);
    c.allFiles = IsControlChecked(r, s.allFiles);
    for (int t = 0; t < engine::kFileTypeCount; ++t)
        c.types[t] = IsControlChecked(r, s.types[t]);
    c.additionalExtensions = platform::FromNative(GetControlText(r, s.extensions));
    c.listZeroByte = IsControlChecked(r, s.zeroByte);
    return c;
}

void SelectPresetRow(Setup& setup, int row) {
    SendMessageW(ControlHandle(setup.record, setup.s.presets), CB_SETCURSEL,
                 row > 0 ? static_cast<WPARAM>(row - 1) : static_cast<WPARAM>(-1), 0);
}

void SelectMatchingPreset(Setup& setup) {
    SelectPresetRow(setup,
                    engine::ControlsToPresetRow(IsControlChecked(setup.record, setup.s.sameSize),
                                                ShownNames(setup), ShownContents(setup)));
}

void EnableStart(Setup& setup) {
    SetControlState(setup.record, setup.s.start, state::kEnabled);
    SetDefaultButton(setup.record, setup.s.start);
}

// The shell's folder picker; the classic folder browser where it is
// missing. False on cancel or failure.
bool PickFolder(HWND owner, std::wstring& chosen) {
    ComPtr<IFileDialog> dialog;
    if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IFileDialog, reinterpret_cast<void**>(dialog.Put())))) {
        dialog->SetOptions(FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
        dialog->SetTitle(texts::kPickerTitle);
        ComPtr<IShellItem> item;
        UniqueCoTaskMem<wchar_t> path;
        if (FAILED(dialog->Show(owner)) || FAILED(dialog->GetResult(item.Put())) ||
            FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.Put())) || !path)
            return false;
        chosen = path.Get();
        return true;
    }
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = texts::kPickerTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    const UniquePidl list(SHBrowseForFolderW(&info));
    wchar_t path[MAX_PATH] = {};
    if (!list || !SHGetPathFromIDListW(list.Get(), path))
        return false;
    chosen = path;
    return true;
}

void Browse(Setup& setup) {
    std::wstring chosen;
    if (!PickFolder(setup.record.window, chosen))
        return;
    SetControlText(setup.record, setup.s.root, chosen.c_str());
    EnableStart(setup);
}

void OpenInstructions() {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.lpFile = texts::kSiteStartScan;
    info.nShow = SW_SHOW;
    ShellExecuteExW(&info);
}

// Validates the root; on success writes the options and resets the
// results.
bool Accept(Setup& setup) {
    AppState& app = setup.main.app;
    const std::wstring root = CleanRoot(GetControlText(setup.record, setup.s.root));
    // Asked through the platform layer, which keeps a trailing dot or space:
    // "…\trail." is the folder "trail.", never "trail".
    if (root.empty() || !platform::IsDirectory(platform::FromNative(root))) {
        MsgBoxAsk(app.msgBox, texts::kInvalidRoot, msgbox::kOk, &setup.record, &app.mainWindow,
                  PumpForToolkit, &setup.main);
        MsgBoxClose(app.msgBox);
        return false;
    }
    const engine::SetupChoices choices = ReadChoices(setup);
    app.options.rootPath = platform::FromNative(root);
    app.suggestedRoot.clear();
    app.options.criteria = engine::BuildCriteriaFlags(choices);
    app.options.extensionFilter = engine::BuildExtensionFilter(choices);
    app.results.Reset();
    return true;
}

void WaitForDropDownClosed(Setup& setup) {
    HWND list = ControlHandle(setup.record, setup.s.presets);
    while (list != nullptr && SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) &&
           !setup.main.app.closeRequested && NextEvent(setup.main)) {
    }
}

void PresetChosen(Setup& setup) {
    WaitForDropDownClosed(setup);
    const auto index = static_cast<int>(
        SendMessageW(ControlHandle(setup.record, setup.s.presets), CB_GETCURSEL, 0, 0));
    if (index < 0 || index >= engine::kPresetCount)
        return;
    engine::SetupChoices choices = ReadChoices(setup);
    engine::ApplyPreset(index + 1, choices);
    ShowChoices(setup, choices);
}

void TypeClicked(Setup& setup) {
    bool any = false;
    for (int32_t slot : setup.s.types)
        any = any || IsControlChecked(setup.record, slot);
    SetChecked(setup.record, setup.s.allFiles, !any);
}

enum class SetupOutcome { kGoOn, kAccepted, kCancelled };

bool IsChoiceBox(const SetupSlots& s, int32_t slot) {
    if (slot == s.sameSize)
        return true;
    for (int32_t box : s.names)
        if (box == slot)
            return true;
    for (int32_t box : s.contents)
        if (box == slot)
            return true;
    return false;
}

bool IsTypeBox(const SetupSlots& s, int32_t slot) {
    for (int32_t box : s.types)
        if (box == slot)
            return true;
    return false;
}

void RootEdited(Setup& setup) {
    if (!(GetControlState(setup.record, setup.s.start, state::kEnabled) & state::kEnabled))
        EnableStart(setup);
    else
        SetDefaultButton(setup.record, setup.s.start);
}

void ExtensionsEdited(Setup& setup) {
    if (!GetControlText(setup.record, setup.s.extensions).empty())
        SetChecked(setup.record, setup.s.allFiles, false);
    else
        TypeClicked(setup);
}

SetupOutcome Clicked(Setup& setup, int32_t slot) {
    const SetupSlots& s = setup.s;
    if (slot == s.cancel)
        return SetupOutcome::kCancelled;
    if (slot == s.start)
        return Accept(setup) ? SetupOutcome::kAccepted : SetupOutcome::kGoOn;
    if (slot == s.browse) {
        Browse(setup);
    } else if (IsChoiceBox(s, slot)) {
        SelectMatchingPreset(setup);
    } else if (slot == s.allFiles) {
        for (int32_t box : s.types)
            SetChecked(setup.record, box, false);
    } else if (slot == s.instructions) {
        OpenInstructions();
    } else if (IsTypeBox(s, slot)) {
        TypeClicked(setup);
    }
    return SetupOutcome::kGoOn;
}

SetupOutcome HandleEvent(Setup& setup, const Event& e) {
    const SetupSlots& s = setup.s;
    switch (e.kind) {
        case event::kClose:
            return SetupOutcome::kCancelled;
        case event::kCommand:
            return Clicked(setup, e.slot);
        case event::kEditChanged:
            if (e.From(s.root))
                RootEdited(setup);
            else if (e.From(s.extensions))
                ExtensionsEdited(setup);
            break;
        case event::kListSelectionChanged:
            if (e.From(s.presets))
                PresetChosen(setup);
            break;
        default:
            break;
    }
    return SetupOutcome::kGoOn;
}

}  // namespace

std::wstring CleanRoot(std::wstring root) {
    while (!root.empty() && root.back() == L'\\')
        root.pop_back();
    return root;
}

bool RunScanSetupWindow(MainWindow& main) {
    AppState& app = main.app;
    Setup setup{main, {}, {}};
    WindowRecord& r = setup.record;
    r.events = app.events;
    r.instance = app.mainWindow.instance;
    if (CreateToolkitWindow(r, texts::kSetupClass, texts::kSetupTitle, kClientWidth, kClientHeight,
                            kCentred, kCentred, kStyle, 0, app.mainHandle) == nullptr)
        return false;
    EnterOwnedPopup(app.mainWindow, r.window);
    SetWindowBackColour(r, kBackground);
    CreateControls(setup);

    const uint32_t flags = app.options.criteria;
    SetChecked(r, setup.s.recursive, (flags & engine::CRIT_RECURSIVE) != 0);
    SetChecked(r, setup.s.similarFolders, (flags & engine::CRIT_SIMILAR_FOLDERS) != 0);
    ShowChoices(setup, engine::ChoicesFromFlags(flags));
    SetChecked(r, setup.s.allFiles, true);
    SetChecked(r, setup.s.zeroByte, (flags & engine::CRIT_LIST_ZERO_BYTE) != 0);
    SelectPresetRow(setup, engine::FlagsToPresetRow(flags));
    SetControlState(r, setup.s.start, state::kDisabled);

    ShowToolkitWindow(r, SW_SHOWNORMAL, show::kUpdate | show::kForeground | show::kDrain);
    // A folder the user already named (on the command line, by a drop) is
    // the root; the picker opens only when there is none ("Browse" still
    // opens it).
    if (!app.suggestedRoot.empty()) {
        SetControlText(r, setup.s.root, platform::ToNative(app.suggestedRoot).c_str());
        EnableStart(setup);
    } else {
        Browse(setup);
    }

    SetupOutcome outcome = SetupOutcome::kGoOn;
    while (outcome == SetupOutcome::kGoOn && !app.closeRequested && NextEvent(main)) {
        const Event e = ReadEvent(*app.events);
        if (e.window == &r)
            outcome = HandleEvent(setup, e);
    }
    CloseDialog(r);
    return outcome == SetupOutcome::kAccepted;
}

}  // namespace cs::app
