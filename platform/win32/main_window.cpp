#include "platform/win32/main_window.h"

#include <algorithm>
#include <climits>
#include <numeric>

#include "layout/main_window_layout.h"
#include "platform/win32/control_ids.h"
#include "platform/win32/controls.h"
#include "platform/win32/desktop_services.h"
#include "platform/win32/text_encoding.h"
#include "platform/win32/win32_picture.h"

namespace zanthrel::win32 {
namespace {

// Sizable, with a working minimize button; leaving out WS_MAXIMIZEBOX shows the maximize button greyed.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_WINDOWEDGE;
constexpr Colour kBannerColour = 0x404040;
constexpr Colour kListColour = 0xE0E0E0;
// The indicator's own blinking while monitoring runs, apart from the timers the form sets.
constexpr UINT_PTR kBlinkTimerId = 0x20;

const FormLayout& layout() {
    return mainWindowLayout();
}

int controlId(std::size_t index) {
    return kMainControlIdBase + static_cast<int>(index);
}

int controlIdOf(std::string_view name) {
    const auto controls = layout().controls;
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].name == name) return controlId(i);
    return 0;
}

// Children in tab-index order, so that the system's focus order (the Z order) follows the tab indexes;
// controls without a tab index come last.
std::vector<std::size_t> creationOrder() {
    std::vector<std::size_t> order(layout().controls.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [](std::size_t a, std::size_t b) {
        const int left = layout().controls[a].tabIndex;
        const int right = layout().controls[b].tabIndex;
        return (left < 0 ? INT_MAX : left) < (right < 0 ? INT_MAX : right);
    });
    return order;
}

void setText(HWND window, std::string_view text) {
    const std::wstring wide = toWide(text);
    std::wstring current(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    current.resize(static_cast<std::size_t>(GetWindowTextW(window, current.data(), static_cast<int>(current.size()))));
    if (current != wide) SetWindowTextW(window, wide.c_str());  // unchanged text would flicker
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, HICON icon)
    : instance_(instance),
      icon_(icon),
      dpi_(screenDpi()),
      fonts_(dpi_),
      bannerBrush_(CreateSolidBrush(kBannerColour)),
      listBrush_(CreateSolidBrush(kListColour)) {}

MainWindow::~MainWindow() {
    destroyWindow();
    releaseChildren();
}

void MainWindow::releaseChildren() noexcept {
    // The system destroys child windows with their parent; only forget them here.
    cmdStartPause_.release();
    cmdEnableDisable_.release();
    list1_.release();
    txtCounts_.release();
    for (Label& label : labels_) label.window.release();
}

void MainWindow::onDestroyed() noexcept {
    releaseChildren();
}

void MainWindow::create(MainForm& form) {
    form_ = &form;
    registerClass(instance_, kMainWindowClass, icon_, GetSysColorBrush(COLOR_BTNFACE));
    const RECT bounds = centredWindowBounds(twipsToPixels(layout().clientWidth, dpi_),
                                            twipsToPixels(layout().clientHeight, dpi_), kStyle, kExStyle);
    createWindow(kExStyle, kMainWindowClass, toWide(layout().caption).c_str(), kStyle, bounds, nullptr, 0, instance_);
    SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.get(layout().font)), FALSE);
    startPauseId_ = controlIdOf("cmdStartPause");
    enableDisableId_ = controlIdOf("cmdEnableDisable");
    pleaseReadId_ = controlIdOf("lblPleaseRead");
    createControls();
    for (const FormControl control : {FormControl::cmdStartPause, FormControl::cmdEnableDisable, FormControl::txtCounts,
                                      FormControl::Shape1, FormControl::List1})
        controlChanged(control);
}

void MainWindow::show(int showCommand) {
    // Placed again at the first show, in case the work area changed since creation.
    const RECT bounds = centredWindowBounds(twipsToPixels(layout().clientWidth, dpi_),
                                            twipsToPixels(layout().clientHeight, dpi_), kStyle, kExStyle);
    SetWindowPos(hwnd(), nullptr, bounds.left, bounds.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd(), showCommand);
    UpdateWindow(hwnd());
    restoreFocus();
}

void MainWindow::createControls() {
    for (const std::size_t index : creationOrder()) createControl(index);
}

void MainWindow::createControl(std::size_t index) {
    const ControlLayout& control = layout().controls[index];
    const int id = controlId(index);
    const HWND parent = control.container.empty() ? hwnd() : banner_.hwnd();
    const RECT bounds = controlBounds(control, dpi_);
    const HFONT font = fonts_.get(control.font.value_or(layout().font));

    if (control.name == "Picture2") {
        banner_.create(instance_, parent, id, bounds, WS_VISIBLE | WS_CLIPCHILDREN, WS_EX_CLIENTEDGE,
                       [this](HWND h, UINT m, WPARAM w, LPARAM l) { return bannerMessage(h, m, w, l); });
    } else if (control.kind == ControlKind::Shape) {
        shape1_.create(instance_, parent, id, bounds, WS_VISIBLE, 0,
                       [this](HWND h, UINT m, WPARAM w, LPARAM l) { return shapeMessage(h, m, w, l); });
    } else if (control.kind == ControlKind::PictureBox) {
        const bool first = control.name == "Picture1";
        Panel& holder = first ? picture1_ : picture3_;
        holder.create(instance_, parent, id, bounds, WS_VISIBLE, WS_EX_CLIENTEDGE,
                      [this, first](HWND h, UINT m, WPARAM, LPARAM) {
                          return holderMessage(first ? form_->state().picture1 : form_->state().picture3, h, m);
                      });
    } else {
        WindowHandle window = createStandardControl(control, parent, id, bounds, font, instance_);
        if (control.name == "cmdStartPause") {
            cmdStartPause_ = std::move(window);
        } else if (control.name == "cmdEnableDisable") {
            cmdEnableDisable_ = std::move(window);
        } else if (control.kind == ControlKind::ListBox) {
            list1_ = std::move(window);
        } else if (control.kind == ControlKind::TextBox) {
            txtCounts_ = std::move(window);
        } else {
            labels_.push_back({std::move(window), &control});
        }
    }
}

void MainWindow::controlChanged(FormControl control) {
    if (!form_ || !hwnd()) return;
    const MainFormState& state = form_->state();
    switch (control) {
        case FormControl::cmdStartPause:
            setText(cmdStartPause_.get(), state.cmdStartPause.caption);
            EnableWindow(cmdStartPause_.get(), state.cmdStartPause.enabled);
            break;
        case FormControl::cmdEnableDisable:
            setText(cmdEnableDisable_.get(), state.cmdEnableDisable.caption);
            EnableWindow(cmdEnableDisable_.get(), state.cmdEnableDisable.enabled);
            break;
        case FormControl::txtCounts: setText(txtCounts_.get(), state.txtCounts); break;
        case FormControl::Shape1: break;
        case FormControl::List1: syncLog(); break;
        case FormControl::Picture1: InvalidateRect(picture1_.hwnd(), nullptr, TRUE); break;
        case FormControl::Picture3: InvalidateRect(picture3_.hwnd(), nullptr, TRUE); break;
    }
    showIndicator();
    if (changeListener_) changeListener_(control);
}

void MainWindow::showIndicator() {
    const MainFormState& state = form_->state();
    // The logic flips the indicator on every sampling tick, but those pause while the clipboard is at
    // rest and would cost a show or hide each: while monitoring runs it blinks at a pace of its own.
    const bool blinking = state.timer(TimerId::Timer1).enabled;
    if (blinking != blinking_) {
        blinking_ = blinking;
        lit_ = true;
        if (blinking)
            SetTimer(hwnd(), kBlinkTimerId, kIndicatorBlinkMs, nullptr);
        else
            KillTimer(hwnd(), kBlinkTimerId);
    }
    // Only a new colour needs repainting.
    if (shownFill_ != state.shape1FillColour) {
        shownFill_ = state.shape1FillColour;
        SetPropW(shape1_.hwnd(), kFillColourProperty,
                 reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(state.shape1FillColour)));
        InvalidateRect(shape1_.hwnd(), nullptr, FALSE);
    }
    const bool visible = blinking_ ? lit_ : state.shape1Visible;
    if (((GetWindowLongW(shape1_.hwnd(), GWL_STYLE) & WS_VISIBLE) != 0) != visible)
        ShowWindow(shape1_.hwnd(), visible ? SW_SHOWNA : SW_HIDE);
}

void MainWindow::syncLog() {
    // The log only ever grows at its end.
    const auto& entries = form_->state().list1;
    auto shown = static_cast<std::size_t>(SendMessageW(list1_.get(), LB_GETCOUNT, 0, 0));
    for (; shown < entries.size(); ++shown)
        SendMessageW(list1_.get(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(toWide(entries[shown]).c_str()));
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (events_ && form_ && events_->handle(*form_, message)) return 0;
    switch (message) {
        case WM_COMMAND: onCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
        case WM_TIMER: {
            if (wParam == kBlinkTimerId) {
                lit_ = !lit_;
                // Each flip costs a trip through the system's window manager; a minimized or hidden
                // window (the guard left in the tray) has nobody to show it to.
                if (form_ && IsWindowVisible(hwnd()) && !IsIconic(hwnd())) showIndicator();
                return 0;
            }
            TimerId id{};
            if (form_ && WindowServices::timerFromId(wParam, id)) form_->onTimer(id);
            return 0;
        }
        case WM_SIZE:
            // The banner is docked to the top: it keeps the client width, nothing else moves.
            if (wParam != SIZE_MINIMIZED && banner_.hwnd()) {
                RECT banner{};
                GetWindowRect(banner_.hwnd(), &banner);
                SetWindowPos(banner_.hwnd(), nullptr, 0, 0, LOWORD(lParam), banner.bottom - banner.top,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            return 0;
        case WM_CTLCOLORSTATIC:
            if (const auto brush = labelColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
                return *brush;
            break;
        case WM_CTLCOLORLISTBOX:
            if (reinterpret_cast<HWND>(lParam) == list1_.get()) {
                SetBkColor(reinterpret_cast<HDC>(wParam), kListColour);
                SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
                return reinterpret_cast<LRESULT>(listBrush_.get());
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (focus && IsChild(hwnd(), focus)) lastFocus_ = focus;
            } else {
                restoreFocus();
            }
            return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: break;
    }
    return Window::handleMessage(message, wParam, lParam);
}

void MainWindow::restoreFocus() {
    if (lastFocus_ && IsWindow(lastFocus_) && IsWindowEnabled(lastFocus_)) {
        SetFocus(lastFocus_);
        return;
    }
    // The first control in tab order that can take the focus.
    if (const HWND first = GetNextDlgTabItem(hwnd(), nullptr, FALSE)) SetFocus(first);
}

void MainWindow::onCommand(int controlId, int notification) {
    if (!form_) return;
    if (controlId == startPauseId_ && notification == BN_CLICKED) {
        form_->handle(FormEvent::StartPauseClick);
    } else if (controlId == enableDisableId_ && notification == BN_CLICKED) {
        form_->handle(FormEvent::EnableDisableClick);
    } else if (controlId == IDOK) {
        // Enter, as the dialog manager reports it: it presses the command button that has the focus.
        const HWND focus = GetFocus();
        if (focus == cmdStartPause_.get() || focus == cmdEnableDisable_.get()) SendMessageW(focus, BM_CLICK, 0, 0);
    }
}

std::optional<LRESULT> MainWindow::labelColours(HDC dc, HWND label) {
    for (const Label& entry : labels_) {
        if (entry.window.get() != label) continue;
        SetTextColor(dc, entry.layout->foreColour.value_or(GetSysColor(COLOR_BTNTEXT)));
        if (entry.layout->transparentBackground) {
            // The only labels drawn through are those on the solid banner, so its brush is what shows.
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(bannerBrush_.get());
        }
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    return std::nullopt;
}

std::optional<LRESULT> MainWindow::bannerMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: {
            RECT client{};
            GetClientRect(hwnd, &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, bannerBrush_.get());
            return 1;
        }
        case WM_CTLCOLORSTATIC: return labelColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_COMMAND:
            if (LOWORD(wParam) == pleaseReadId_ && HIWORD(wParam) == STN_CLICKED && form_)
                form_->handle(FormEvent::PleaseReadClick);
            return 0;
        default: return std::nullopt;
    }
}

std::optional<LRESULT> MainWindow::shapeMessage(HWND hwnd, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_NCHITTEST: return HTTRANSPARENT;  // a click on the indicator does nothing
        case WM_DESTROY: RemovePropW(hwnd, kFillColourProperty); return std::nullopt;
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            const HDC dc = BeginPaint(hwnd, &paint);
            RECT client{};
            GetClientRect(hwnd, &client);
            const BrushHandle fill(CreateSolidBrush(form_ ? form_->state().shape1FillColour : kIndicatorGreen));
            FillRect(dc, &client, fill.get());
            FrameRect(dc, &client, GetSysColorBrush(COLOR_WINDOWTEXT));
            EndPaint(hwnd, &paint);
            return 0;
        }
        default: return std::nullopt;
    }
}

std::optional<LRESULT> MainWindow::holderMessage(const SnapshotHolder& holder, HWND hwnd, UINT message) {
    if (message != WM_PAINT) return std::nullopt;
    // A picture box shows its picture from the top-left corner, clipped to its inner area.
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(hwnd, &paint);
    if (const auto* picture = dynamic_cast<const Win32Picture*>(holder.picture.get())) {
        const MemoryDc source(CreateCompatibleDC(dc));
        const SelectedObject selected(source.get(), picture->handle());
        BitBlt(dc, 0, 0, picture->width(), picture->height(), source.get(), 0, 0, SRCCOPY);
    }
    EndPaint(hwnd, &paint);
    return 0;
}

}  // namespace zanthrel::win32
