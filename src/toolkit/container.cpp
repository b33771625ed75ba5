// The container window procedure: the message table that turns a toolkit
// window's messages into events, its custom frame and owned popups. The
// handlers of each concern live beside it: background.cpp, events.cpp,
// layout.cpp, subwindow.cpp.
#include "toolkit/container_internal.h"

namespace cs::toolkit {

using namespace detail;

namespace {

constexpr int kNoHeightBound = 500000;
constexpr LRESULT kDefaultIdFlag = 0x534B;  // DC_HASDEFID

void MoveOwnedPopups(WindowRecord& record, HWND window, const WINDOWPOS& position) {
    RECT bounds{};
    if (!GetWindowRect(window, &bounds))
        return;
    const int dx = position.x - bounds.left;
    const int dy = position.y - bounds.top;
    if (dx == 0 && dy == 0)
        return;
    for (int32_t i = 0; i < record.ownedPopupCount && i < kMaxOwnedPopups; ++i) {
        HWND popup = record.ownedPopups[static_cast<size_t>(i)];
        RECT popupBounds{};
        if (popup == nullptr || !GetWindowRect(popup, &popupBounds))
            continue;
        SetWindowPos(popup, nullptr, popupBounds.left + dx, popupBounds.top + dy, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    }
}

ProcResult CalcCustomFrame(WindowRecord& record, WPARAM wParam, LPARAM lParam) {
    const int frame = record.frameWidth;
    auto shrink = [frame](RECT& rect) { InflateRect(&rect, -frame, -frame); };
    if (wParam) {
        auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
        params->rgrc[1] = params->rgrc[0];
        if (params->lppos != nullptr) {
            params->lppos->cx = params->rgrc[0].right - params->rgrc[0].left;
            params->lppos->cy = params->rgrc[0].bottom - params->rgrc[0].top;
        }
        shrink(params->rgrc[0]);
        return {WVR_VALIDRECTS | WVR_REDRAW, true};
    }
    shrink(*reinterpret_cast<RECT*>(lParam));
    return {0, true};
}

}  // namespace

ProcResult ContainerProc(WindowRecord& record, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam) {
    if (record.events == nullptr || window == nullptr || window != record.window)
        return {};
    switch (message) {
        case WM_MOVE:
            Post(record, event::kMoved, message, window);
            return {};
        case WM_SIZE:
            if (wParam == SIZE_RESTORED || wParam == SIZE_MAXIMIZED) {
                SetActive(record, window);
                LayoutControls(record);
            } else {
                Post(record, event::kSizeChanged, message, window);
            }
            return {0, true};
        case WM_SIZING:
            Post(record, event::kSizeChanged, message, window);
            return {0, true};
        case WM_ACTIVATE:
        case WM_ACTIVATEAPP:
            if (LOWORD(wParam) == 0) {
                if (record.events->activeWindow == &record)
                    record.events->activeWindow = nullptr;
                Post(record, event::kDeactivated, message, window);
            } else {
                SetHoverLook(record, record.hotControl, 0);
                SetActive(record, window);
                Post(record, event::kActivated, message, window);
            }
            record.hotControl = 0;
            return {};
        case WM_CLOSE:
            SetActive(record, window);
            PostMessageW(window, WM_TK_CLOSE, 0, 0);
            return {0, true};
        case WM_QUERYENDSESSION:
            Post(record, event::kSessionEnding, message, window, static_cast<WPARAM>(lParam));
            return {0, true};
        case WM_ENDSESSION:
            Post(record, event::kSessionEnding, message, window);
            return {0, true};
        case WM_ERASEBKGND:
            if (record.backgroundMode == BackgroundMode::kSystem)
                return {};
            return {EraseBackground(record, window, reinterpret_cast<HDC>(wParam)), true};
        case WM_SETCURSOR:
            return SetCursorAndHover(record, window, wParam, lParam);
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            if (record.minTrackSize.cx + record.minTrackSize.cy != 0)
                info->ptMinTrackSize = {record.minTrackSize.cx, record.minTrackSize.cy};
            if (record.maxTrackSize.cx + record.maxTrackSize.cy != 0)
                info->ptMaxTrackSize = {record.maxTrackSize.cx, record.maxTrackSize.cy};
            return {0, true};
        }
        case WM_NEXTDLGCTL:
        case WM_GETDLGCODE:
        case WM_INITDIALOG:
        case WM_ENTERIDLE:
        case WM_CTLCOLORDLG:
            return {DefDlgProcW(window, message, wParam, lParam), true};
        case WM_WINDOWPOSCHANGING: {
            auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
            if (position->hwnd != window || (position->flags & SWP_NOMOVE))
                return {};
            MoveOwnedPopups(record, window, *position);
            return {0, true};
        }
        case WM_WINDOWPOSCHANGED: {
            SetActive(record, window);
            auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
            if (position->flags & SWP_NOSIZE)
                return {0, true};
            LayoutControls(record);
            if (record.backgroundMode == BackgroundMode::kStretchedSkin)
                InvalidateRect(window, nullptr, TRUE);
            Post(record, event::kSizeChanged, message, window);
            return {0, true};
        }
        case WM_NOTIFY:
            return Notification(record, window, lParam);
        case WM_CONTEXTMENU: {
            SetActive(record, window);
            auto target = reinterpret_cast<HWND>(wParam);
            const int32_t slot = SlotOfHandle(record, target);
            record.hotControl = slot;
            const POINT point = ContextMenuPoint(target, lParam);
            Post(record, event::kContextMenu, message, window, static_cast<WPARAM>(slot),
                 static_cast<intptr_t>(MAKELPARAM(static_cast<WORD>(point.x),
                                                  static_cast<WORD>(point.y))));
            return {0, true};
        }
        case WM_NCCALCSIZE:
            if (record.customFrame == 0)
                return {};
            return CalcCustomFrame(record, wParam, lParam);
        case WM_NCPAINT:
            if (record.customFrame != 0 || record.cornerSize > 1)
                return {0, true};
            return {};
        case WM_NCLBUTTONDOWN:
            SetActive(record, window);
            Post(record, event::kNonClientLeftDown, message, window, wParam);
            return {};
        case WM_NCLBUTTONUP:
            SetActive(record, window);
            Post(record, event::kNonClientLeftUp, message, window, wParam);
            return {1, true};
        case WM_NCLBUTTONDBLCLK:
            SetActive(record, window);
            Post(record, event::kNonClientDoubleClick, message, window, wParam);
            return {};
        case WM_CHAR:
            SetActive(record, window);
            Post(record, event::kCharacter, message, window, wParam, static_cast<intptr_t>(lParam));
            return {};
        case WM_NCACTIVATE:
            if (wParam)
                SetActive(record, window);
            Post(record, wParam ? event::kNonClientActivated : event::kNonClientDeactivated,
                 message, window);
            if (record.customFrame != 0 || record.cornerSize > 1)
                return {wParam ? 0 : 1, true};
            return {};
        case WM_COMMAND:
            return ControlCommand(record, window, wParam, lParam);
        case WM_SYSCOMMAND:
            SetActive(record, window);
            switch (wParam & 0xFFF0) {
                case SC_MOVE:
                    Post(record, event::kMoving, message, window);
                    break;
                case SC_MINIMIZE:
                    Post(record, event::kMinimise, message, window);
                    break;
                case SC_MAXIMIZE:
                    Post(record, event::kMaximise, message, window);
                    break;
                case SC_RESTORE:
                    Post(record, event::kRestore, message, window);
                    break;
                case SC_CLOSE:
                    PostMessageW(window, WM_TK_CLOSE, 0, 0);
                    break;
                default:
                    break;
            }
            return {};
        case WM_HSCROLL:
        case WM_VSCROLL: {
            SetActive(record, window);
            if (LOWORD(wParam) == SB_ENDSCROLL)
                return {0, true};
            const int32_t slot = SlotOfHandle(record, reinterpret_cast<HWND>(lParam));
            Post(record, message == WM_HSCROLL ? event::kHorizontalScroll : event::kVerticalScroll,
                 message, window, static_cast<WPARAM>(slot), static_cast<intptr_t>(wParam));
            return {0, true};
        }
        case WM_MENUCOMMAND: {
            SetActive(record, window);
            auto menu = reinterpret_cast<HMENU>(lParam);
            const auto code = static_cast<int32_t>(GetMenuItemID(menu, static_cast<int>(wParam)));
            Post(record, code, message, window, wParam, reinterpret_cast<intptr_t>(menu));
            return {0, true};
        }
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            return EditControlColour(record, reinterpret_cast<HDC>(wParam),
                                     reinterpret_cast<HWND>(lParam));
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
            return TransparentControlColour(record, window, reinterpret_cast<HDC>(wParam),
                                            reinterpret_cast<HWND>(lParam));
        case WM_MOUSEMOVE:
            record.mouse = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            record.mouseKeys = static_cast<int32_t>(wParam);
            Post(record, event::kMouseMoved, message, window, wParam);
            return {};
        case WM_LBUTTONDOWN: {
            SetActive(record, window);
            const POINT point{static_cast<short>(LOWORD(lParam)),
                              static_cast<short>(HIWORD(lParam))};
            ControlRecord* control =
                FindControl(record, SlotOfHandle(record, ChildWindowFromPoint(window, point)));
            if (control != nullptr && (control->layoutFlags & layout::kCaption))
                StartWindowDrag(record, window);
            Post(record, event::kLeftDown, message, window);
            return {};
        }
        case WM_LBUTTONUP:
            Post(record, event::kLeftUp, message, window, wParam);
            return {};
        case WM_RBUTTONUP:
            Post(record, event::kRightUp, message, window, wParam);
            return {};
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
            SetActive(record, window);
            Post(record,
                 message == WM_LBUTTONDBLCLK ? event::kDoubleClick : event::kRightDoubleClick,
                 message, window, static_cast<WPARAM>(record.hotControl));
            return {};
        case WM_RBUTTONDOWN:
            SetActive(record, window);
            Post(record, event::kRightDown, message, window, wParam);
            return {};
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL:
            Post(record, message == WM_MOUSEWHEEL ? event::kWheel : event::kHorizontalWheel,
                 message, window, wParam, static_cast<intptr_t>(lParam));
            return {0, true};
        case WM_ENTERMENULOOP:
            Post(record, event::kMenuLoopEntered, message, window);
            return {};
        case WM_EXITMENULOOP:
            Post(record, event::kMenuLoopLeft, message, window);
            return {};
        case WM_MOVING:
            Post(record, event::kMoving, message, window);
            return {};
        case WM_DEVICECHANGE:
            Post(record, event::kDeviceChange, message, window, wParam);
            return {};
        case WM_EXITSIZEMOVE:
            SetActive(record, window);
            LayoutControls(record);
            InvalidateMarkedControls(record);
            Post(record, event::kSizeChanged, message, window);
            return {0, true};
        case WM_DROPFILES:
            DropFiles(record, window, reinterpret_cast<HDROP>(wParam));
            return {0, true};
        case WM_NCMOUSELEAVE:
            Post(record, event::kNonClientMouseLeft, message, window, wParam);
            return {};
        case WM_TK_CLOSE:
            // The pump has already turned the request into the close event; it
            // names the window the request was posted to, so a dialog's wait
            // knows the close is its own even when no event of its came before.
            // Dispatched by a plain pump during long work, the request would
            // otherwise vanish; the close mark keeps it for the next wait.
            record.events->window = &record;
            record.events->close = 1;
            if (record.closeRequested != nullptr)
                *record.closeRequested = true;
            return {0, true};
        case DM_GETDEFID:
            SetActive(record, window);
            if (record.defaultButton != 0)
                return {MAKELONG(record.defaultButton, kDefaultIdFlag), true};
            return {0, true};
        default:
            return {};
    }
}

LRESULT CALLBACK ContainerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* record = reinterpret_cast<WindowRecord*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    WNDPROC classProc = record != nullptr ? record->classProc : nullptr;
    try {
        if (record != nullptr) {
            const ProcResult result = ContainerProc(*record, window, message, wParam, lParam);
            if (result.handled)
                return result.result;
        }
    } catch (...) {
        // Nothing may unwind into the system's dispatcher; the message is
        // handled as if the toolkit did not know it.
    }
    if (message == WM_NCDESTROY)
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    return classProc != nullptr ? CallWindowProcW(classProc, window, message, wParam, lParam)
                                : DefWindowProcW(window, message, wParam, lParam);
}

HWND ChildFromPoint(HWND window, int x, int y) {
    POINT point{x, y};
    if (window == nullptr || !ClientToScreen(window, &point))
        return nullptr;
    if (GetWindowLongW(window, GWL_STYLE) & WS_CLIPCHILDREN)
        return WindowFromPoint(point);
    struct Search {
        POINT point;
        int bestHeight;
        HWND best;
    } search{point, kNoHeightBound, nullptr};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM parameter) -> BOOL {
            auto* state = reinterpret_cast<Search*>(parameter);
            if (!IsWindowVisible(child))
                return TRUE;
            const LRESULT hit = DefWindowProcW(
                child, WM_NCHITTEST, 0,
                MAKELPARAM(static_cast<WORD>(state->point.x), static_cast<WORD>(state->point.y)));
            RECT client{};
            if (hit > 0 && GetClientRect(child, &client) && client.bottom <= state->bestHeight) {
                state->bestHeight = client.bottom;
                state->best = child;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.best;
}

}  // namespace cs::toolkit
