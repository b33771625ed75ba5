#include "app/kept_rows.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "toolkit/controls.h"

namespace cs::app {

namespace {

// The state bits kept with a row (the list asks for them, LVM_SETCALLBACKMASK);
// selection and focus stay the list's own.
constexpr UINT kKeptBits = LVIS_STATEIMAGEMASK | LVIS_OVERLAYMASK;
constexpr UINT kListsOwnBits = LVIS_SELECTED | LVIS_FOCUSED | LVIS_CUT | LVIS_DROPHILITED;
constexpr UINT kUnticked = INDEXTOSTATEIMAGEMASK(1);
constexpr UINT kTicked = INDEXTOSTATEIMAGEMASK(2);

struct KeptRow {
    LPARAM data = 0;
    int image = 0;
    UINT state = 0;
};

struct KeptRows {
    WNDPROC listProc = nullptr;
    SeparatorDataRelease release = nullptr;
    std::vector<KeptRow> rows;

    bool Exists(int row) const { return row >= 0 && static_cast<size_t>(row) < rows.size(); }
};

KeptRows* RowsOf(HWND list) {
    return reinterpret_cast<KeptRows*>(GetWindowLongPtrW(list, GWLP_USERDATA));
}

LRESULT PassOn(const KeptRows& kept, HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(kept.listProc, list, message, wParam, lParam);
}

int CopyText(const KeptRow& row, int column, wchar_t* buffer, int room) {
    return toolkit::CopyRowText(reinterpret_cast<const toolkit::ListRowData*>(row.data), column,
                                buffer, room);
}

UINT ListsOwnState(const KeptRows& kept, HWND list, int row, UINT mask) {
    mask &= kListsOwnBits;
    return mask != 0 ? static_cast<UINT>(PassOn(kept, list, LVM_GETITEMSTATE, row, mask)) & mask
                     : 0;
}

// What LVM_GETITEMW and the list's own requests (LVN_GETDISPINFOW) ask of
// a row.
BOOL FillItem(const KeptRows& kept, HWND list, LVITEMW& item) {
    if (!kept.Exists(item.iItem))
        return FALSE;
    const KeptRow& row = kept.rows[static_cast<size_t>(item.iItem)];
    const bool main = item.iSubItem == 0;
    if (item.mask & LVIF_TEXT)
        CopyText(row, item.iSubItem, item.pszText, item.cchTextMax);
    if (item.mask & LVIF_IMAGE)
        item.iImage = main ? row.image : 0;
    if (item.mask & LVIF_PARAM)
        item.lParam = row.data;
    if (item.mask & LVIF_STATE)
        item.state = main ? (row.state & item.stateMask & kKeptBits) |
                                ListsOwnState(kept, list, item.iItem, item.stateMask)
                          : 0;
    if (item.mask & LVIF_INDENT)
        item.iIndent = 0;
    if (item.mask & LVIF_GROUPID)
        item.iGroupId = I_GROUPIDNONE;
    return TRUE;
}

// Tells the list's owner of a changed check box or group, as a list with
// rows of its own does (the toolkit turns it into the tick events).
void ReportChange(HWND list, int row, UINT before, UINT after, LPARAM data) {
    NMLISTVIEW notice{};
    notice.hdr.hwndFrom = list;
    notice.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    notice.hdr.code = LVN_ITEMCHANGED;
    notice.iItem = row;
    notice.uChanged = LVIF_STATE;
    notice.uOldState = before;
    notice.uNewState = after;
    notice.lParam = data;
    SendMessageW(GetParent(list), WM_NOTIFY, notice.hdr.idFrom, reinterpret_cast<LPARAM>(&notice));
}

void ChangeKeptState(KeptRows& kept, HWND list, int row, UINT mask, UINT bits) {
    KeptRow& stored = kept.rows[static_cast<size_t>(row)];
    const UINT before = stored.state;
    const UINT after = (before & ~mask) | (bits & mask);
    if (after == before)
        return;
    stored.state = after;
    const LPARAM data = stored.data;
    PassOn(kept, list, LVM_REDRAWITEMS, row, row);
    // The owner may change the rows while it hears of it: nothing of the
    // row is used after this.
    const UINT own = ListsOwnState(kept, list, row, kListsOwnBits);
    ReportChange(list, row, before | own, after | own, data);
}

LRESULT SetState(KeptRows& kept, HWND list, WPARAM wParam, const LVITEMW& item) {
    const auto row = static_cast<int>(wParam);
    if (row != -1 && !kept.Exists(row))
        return FALSE;
    if (const UINT mask = item.stateMask & kKeptBits; mask != 0) {
        if (row != -1) {
            ChangeKeptState(kept, list, row, mask, item.state);
        } else {
            for (int each = 0; kept.Exists(each); ++each)
                ChangeKeptState(kept, list, each, mask, item.state);
        }
    }
    const UINT ownMask = item.stateMask & ~kKeptBits;
    if (ownMask == 0)
        return TRUE;
    LVITEMW own = item;
    own.stateMask = ownMask;
    return PassOn(kept, list, LVM_SETITEMSTATE, wParam, reinterpret_cast<LPARAM>(&own));
}

// A list that keeps no rows keeps its selection by position: a row
// inserted above the highlight would take it from the row it belongs to.
// (Its focus stays where it is: moving it scrolls the list to it, and rows
// arrive above it while the user looks elsewhere.)
void MoveSelectionDown(const KeptRows& kept, HWND list, int from) {
    // The walk through the rows below is only made when something is
    // highlighted: the count is a look at the selection's ranges.
    if (PassOn(kept, list, LVM_GETSELECTEDCOUNT, 0, 0) == 0)
        return;
    std::vector<int> selected;
    for (int row = from - 1;;) {
        row = static_cast<int>(PassOn(kept, list, LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                      LVNI_SELECTED));
        if (row < 0)
            break;
        selected.push_back(row);
    }
    auto set = [&](int row, UINT mask, UINT state) {
        LVITEMW change{};
        change.stateMask = mask;
        change.state = state;
        PassOn(kept, list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
               reinterpret_cast<LPARAM>(&change));
    };
    for (auto row = selected.rbegin(); row != selected.rend(); ++row) {
        set(*row, LVIS_SELECTED, 0);
        set(*row + 1, LVIS_SELECTED, LVIS_SELECTED);
    }
}

LRESULT Insert(KeptRows& kept, HWND list, const LVITEMW& item) {
    if (item.iSubItem != 0)
        return -1;
    KeptRow row;
    if (item.mask & LVIF_PARAM)
        row.data = item.lParam;
    if (item.mask & LVIF_IMAGE)
        row.image = item.iImage;
    const bool boxes =
        (PassOn(kept, list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES) != 0;
    // A new row of a check-box list has an unticked box unless it says
    // which (a separator: none).
    row.state = boxes ? kUnticked : 0;
    if (item.mask & LVIF_STATE)
        row.state = (row.state & ~(item.stateMask & kKeptBits)) |
                    (item.state & item.stateMask & kKeptBits);
    const size_t at = std::min(static_cast<size_t>(std::max(item.iItem, 0)), kept.rows.size());
    kept.rows.insert(kept.rows.begin() + static_cast<std::ptrdiff_t>(at), row);
    const bool last = at + 1 == kept.rows.size();
    PassOn(kept, list, LVM_SETITEMCOUNT, kept.rows.size(),
           LVSICF_NOSCROLL | (last ? LVSICF_NOINVALIDATEALL : 0));
    const auto inserted = static_cast<int>(at);
    if (!last)
        MoveSelectionDown(kept, list, inserted);
    // A list with rows of its own ticks a row after inserting it unticked.
    if (boxes && (row.state & LVIS_STATEIMAGEMASK) == kTicked)
        ReportChange(list, inserted, kUnticked | (row.state & ~LVIS_STATEIMAGEMASK), row.state,
                     row.data);
    return inserted;
}

LRESULT Delete(KeptRows& kept, HWND list, int row) {
    if (!kept.Exists(row))
        return FALSE;
    const LPARAM data = kept.rows[static_cast<size_t>(row)].data;
    kept.rows.erase(kept.rows.begin() + row);
    const LRESULT done = PassOn(kept, list, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
    if (data != 0 && kept.release != nullptr)
        kept.release(data);
    return done;
}

void ReleaseAll(KeptRows& kept) {
    std::vector<KeptRow> gone;
    gone.swap(kept.rows);
    if (kept.release == nullptr)
        return;
    for (const KeptRow& row : gone) {
        if (row.data != 0)
            kept.release(row.data);
    }
}

// The toggle a list with rows of its own makes on a click on a box, or on
// the space bar for the focused row; the list itself makes none of a row it
// does not keep.
void Toggle(KeptRows& kept, HWND list, int row) {
    if (!kept.Exists(row))
        return;
    const UINT box = kept.rows[static_cast<size_t>(row)].state & LVIS_STATEIMAGEMASK;
    if (box == kUnticked || box == kTicked)
        ChangeKeptState(kept, list, row, LVIS_STATEIMAGEMASK, box == kTicked ? kUnticked : kTicked);
}

LRESULT CALLBACK KeptRowsProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    KeptRows* kept = RowsOf(list);
    if (kept == nullptr)
        return DefWindowProcW(list, message, wParam, lParam);
    auto* item = reinterpret_cast<LVITEMW*>(lParam);
    switch (message) {
        case LVM_INSERTITEMW:
            return item != nullptr ? Insert(*kept, list, *item) : -1;
        case LVM_SETITEMTEXTW:
            // Texts come from the rows' item data.
            return TRUE;
        case LVM_SETITEMW:
            if (item == nullptr || !kept->Exists(item->iItem) || item->iSubItem != 0)
                return FALSE;
            if (item->mask & LVIF_PARAM)
                kept->rows[static_cast<size_t>(item->iItem)].data = item->lParam;
            if (item->mask & LVIF_IMAGE)
                kept->rows[static_cast<size_t>(item->iItem)].image = item->iImage;
            return (item->mask & LVIF_STATE) ? SetState(*kept, list, item->iItem, *item) : TRUE;
        case LVM_SETITEMSTATE:
            return item != nullptr ? SetState(*kept, list, wParam, *item) : FALSE;
        case LVM_GETITEMW:
            return item != nullptr ? FillItem(*kept, list, *item) : FALSE;
        case LVM_GETITEMTEXTW:
            if (item == nullptr || !kept->Exists(static_cast<int>(wParam)))
                return 0;
            return CopyText(kept->rows[wParam], item->iSubItem, item->pszText, item->cchTextMax);
        case LVM_GETITEMSTATE: {
            const auto row = static_cast<int>(wParam);
            if (!kept->Exists(row))
                return 0;
            const auto mask = static_cast<UINT>(lParam);
            return (kept->rows[wParam].state & mask & kKeptBits) |
                   ListsOwnState(*kept, list, row, mask);
        }
        case LVM_DELETEITEM:
            return Delete(*kept, list, static_cast<int>(wParam));
        case LVM_DELETEALLITEMS: {
            const LRESULT done = PassOn(*kept, list, message, wParam, lParam);
            ReleaseAll(*kept);
            return done;
        }
        case toolkit::WM_TK_ROW_DISPLAY:
            if (lParam != 0)
                FillItem(*kept, list, reinterpret_cast<NMLVDISPINFOW*>(lParam)->item);
            return 0;
        case toolkit::WM_TK_ROW_DATA:
            return kept->Exists(static_cast<int>(wParam)) ? kept->rows[wParam].data : 0;
        case WM_LBUTTONDOWN: {
            LVHITTESTINFO hit{};
            hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            PassOn(*kept, list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
            const LRESULT result = PassOn(*kept, list, message, wParam, lParam);
            if (hit.iItem >= 0 && (hit.flags & LVHT_ONITEMSTATEICON))
                Toggle(*kept, list, hit.iItem);
            return result;
        }
        case WM_KEYDOWN: {
            const LRESULT result = PassOn(*kept, list, message, wParam, lParam);
            if (wParam == VK_SPACE)
                Toggle(*kept, list,
                       static_cast<int>(PassOn(*kept, list, LVM_GETNEXTITEM,
                                               static_cast<WPARAM>(-1), LVNI_FOCUSED)));
            return result;
        }
        case WM_NCDESTROY: {
            const LRESULT result = PassOn(*kept, list, message, wParam, lParam);
            SetWindowLongPtrW(list, GWLP_USERDATA, 0);
            ReleaseAll(*kept);
            delete kept;
            return result;
        }
        default:
            return PassOn(*kept, list, message, wParam, lParam);
    }
}

}  // namespace

bool KeepRowsForList(HWND list, SeparatorDataRelease release) {
    if (list == nullptr || !(GetWindowLongW(list, GWL_STYLE) & LVS_OWNERDATA) ||
        RowsOf(list) != nullptr || SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) != 0)
        return false;
    auto kept = std::make_unique<KeptRows>();
    kept->release = release;
    SetWindowLongPtrW(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(kept.get()));
    kept->listProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(KeptRowsProc)));
    if (kept->listProc == nullptr) {
        SetWindowLongPtrW(list, GWLP_USERDATA, 0);
        return false;
    }
    PassOn(*kept, list, LVM_SETCALLBACKMASK, kKeptBits, 0);
    kept.release();
    return true;
}

}  // namespace cs::app
