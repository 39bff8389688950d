#include "platform/win32/main_window.h"

#include <algorithm>
#include <climits>
#include <numeric>
#include <string>
#include <utility>

#include "layout/main_window_layout.h"
#include "platform/win32/control_ids.h"
#include "platform/win32/controls.h"
#include "platform/win32/dpi.h"
#include "platform/win32/text_encoding.h"
#include "platform/win32/win32_picture.h"

namespace zanthrel::win32 {
namespace {

// Sizable, with a working minimize button; leaving out WS_MAXIMIZEBOX shows the maximize button greyed.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_WINDOWEDGE;
// The indicator's own blinking while monitoring runs: the window's only timer, the guard's clocks tick
// on a thread of their own (TickService).
constexpr UINT_PTR kBlinkTimerId = 0x20;

const FormLayout& layout() {
    return mainWindowLayout();
}

int controlId(std::size_t index) {
    return kMainControlIdBase + static_cast<int>(index);
}

int controlIdOf(ControlId id) {
    const auto controls = layout().controls;
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].id == id) return controlId(i);
    return 0;
}

// The colours the table gives the banner and the log, which the system would otherwise paint its own.
Colour backColourOf(ControlId id) {
    return layout().control(id).backColour.value_or(0);
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
      dpi_(systemDpi()),
      fonts_(dpi_),
      bannerBrush_(CreateSolidBrush(backColourOf(ControlId::Banner))),
      logBrush_(CreateSolidBrush(backColourOf(ControlId::Log))) {}

MainWindow::~MainWindow() {
    destroyWindow();
    releaseChildren();
}

void MainWindow::releaseChildren() noexcept {
    // The system destroys child windows with their parent; only forget them here.
    monitoringButton_.release();
    blockingButton_.release();
    log_.release();
    captureCount_.release();
    for (Label& label : labels_) label.window.release();
}

void MainWindow::onDestroyed() noexcept {
    releaseChildren();
}

void MainWindow::create(Guard& guard) {
    guard_ = &guard;
    registerClass(instance_, kMainWindowClass, icon_, GetSysColorBrush(COLOR_BTNFACE));
    const RECT bounds = centredBounds(outerSize(clientSize(layout(), dpi_), kStyle, kExStyle, dpi_));
    createWindow(kExStyle, kMainWindowClass, toWide(layout().caption).c_str(), kStyle, bounds, nullptr, 0, instance_);
    // The monitor it came up on may have a density other than the system's.
    if (const int shown = windowDpi(hwnd()); shown != dpi_) {
        dpi_ = shown;
        fonts_ = FontSet(dpi_);
    }
    setClientSize(hwnd(), clientSize(layout(), dpi_));
    icons_.show(hwnd(), instance_, dpi_);
    SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.get(layout().font)), FALSE);
    monitoringButtonId_ = controlIdOf(ControlId::MonitoringButton);
    blockingButtonId_ = controlIdOf(ControlId::BlockingButton);
    pleaseReadId_ = controlIdOf(ControlId::PleaseRead);
    createControls();
    for (const GuardChange change : {GuardChange::MonitoringCommand, GuardChange::BlockingCommand,
                                     GuardChange::CaptureCount, GuardChange::Indicator, GuardChange::Log})
        guardChanged(change);
}

void MainWindow::show(int showCommand) {
    // Placed again at the first show, in case the work area changed since creation.
    centreWindow(hwnd());
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
    const HWND parent = control.container ? banner_.hwnd() : hwnd();
    const RECT bounds = controlBounds(control, dpi_);
    const HFONT font = fonts_.forControl(control, layout().font, bounds);

    if (control.id == ControlId::Banner) {
        banner_.create(instance_, parent, id, bounds, WS_VISIBLE | WS_CLIPCHILDREN, WS_EX_CLIENTEDGE,
                       [this](HWND h, UINT m, WPARAM w, LPARAM l) { return bannerMessage(h, m, w, l); });
    } else if (control.kind == ControlKind::Shape) {
        indicator_.create(instance_, parent, id, bounds, WS_VISIBLE, 0,
                          [this](HWND h, UINT m, WPARAM w, LPARAM l) { return shapeMessage(h, m, w, l); });
    } else if (control.kind == ControlKind::PictureBox) {
        const bool first = control.id == ControlId::FirstHolder;
        Panel& holder = first ? firstHolder_ : secondHolder_;
        holder.create(instance_, parent, id, bounds, WS_VISIBLE, WS_EX_CLIENTEDGE,
                      [this, first](HWND h, UINT m, WPARAM, LPARAM) {
                          const DetectionState& detection = guard_->state().detection;
                          return holderMessage(first ? detection.firstHolder : detection.secondHolder, h, m);
                      });
    } else {
        WindowHandle window = createStandardControl(control, parent, id, bounds, font, instance_);
        if (control.id == ControlId::MonitoringButton) {
            monitoringButton_ = std::move(window);
        } else if (control.id == ControlId::BlockingButton) {
            blockingButton_ = std::move(window);
        } else if (control.kind == ControlKind::ListBox) {
            log_ = std::move(window);
        } else if (control.kind == ControlKind::TextBox) {
            captureCount_ = std::move(window);
        } else {
            labels_.push_back({std::move(window), &control});
        }
    }
}

void MainWindow::moveToDensity(const DensityChange& change) {
    if (!banner_.hwnd()) return;
    const PixelSize client = clientSizeAfterMove(layout(), clientSizeOf(hwnd()), dpi_, change.dpi);
    // The old fonts stay until no control uses them.
    const FontSet previous = std::exchange(fonts_, FontSet(change.dpi));
    dpi_ = change.dpi;
    takeSuggestedBounds(hwnd(), change.suggested, client);
    SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.get(layout().font)), FALSE);
    const auto controls = layout().controls;
    for (std::size_t index = 0; index < controls.size(); ++index) {
        const ControlLayout& control = controls[index];
        const HWND parent = control.container ? banner_.hwnd() : hwnd();
        const bool panel = control.kind == ControlKind::PictureBox || control.kind == ControlKind::Shape;
        const RECT bounds = controlBounds(control, dpi_);
        if (const HWND window = GetDlgItem(parent, controlId(index)))
            placeControl(window, bounds, panel ? nullptr : fonts_.forControl(control, layout().font, bounds));
    }
    dockBanner(clientSizeOf(hwnd()).width);
    icons_.show(hwnd(), instance_, dpi_);
    RedrawWindow(hwnd(), nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void MainWindow::dockBanner(int clientWidth) {
    // The banner is docked to the top: it keeps the client width, nothing else moves.
    RECT banner{};
    GetWindowRect(banner_.hwnd(), &banner);
    SetWindowPos(banner_.hwnd(), nullptr, 0, 0, clientWidth, banner.bottom - banner.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::guardChanged(GuardChange change) {
    if (!guard_ || !hwnd()) return;
    const GuardState& state = guard_->state();
    switch (change) {
        case GuardChange::MonitoringCommand:
            setText(monitoringButton_.get(), state.monitoring.caption);
            EnableWindow(monitoringButton_.get(), state.monitoring.enabled);
            break;
        case GuardChange::BlockingCommand:
            setText(blockingButton_.get(), state.blocking.caption);
            EnableWindow(blockingButton_.get(), state.blocking.enabled);
            break;
        case GuardChange::CaptureCount:
            setText(captureCount_.get(), std::to_string(state.detection.captureCount));
            break;
        case GuardChange::Indicator: break;
        case GuardChange::Log: syncLog(); break;
        case GuardChange::FirstHolder: InvalidateRect(firstHolder_.hwnd(), nullptr, TRUE); break;
        case GuardChange::SecondHolder: InvalidateRect(secondHolder_.hwnd(), nullptr, TRUE); break;
    }
    showIndicator();
    if (changeListener_) changeListener_(change);
}

void MainWindow::showIndicator() {
    const GuardState& state = guard_->state();
    // The logic flips the indicator on every sampling tick, but those pause while the clipboard is at
    // rest and would cost a show or hide each: while monitoring runs it blinks at a pace of its own.
    const bool blinking = state.timer(GuardTimer::Sampling).enabled;
    if (blinking != blinking_) {
        blinking_ = blinking;
        lit_ = true;
        if (blinking)
            SetTimer(hwnd(), kBlinkTimerId, static_cast<UINT>(kIndicatorBlinkMs), nullptr);
        else
            KillTimer(hwnd(), kBlinkTimerId);
    }
    // Only a new colour needs repainting.
    if (shownFill_ != state.indicator.colour) {
        shownFill_ = state.indicator.colour;
        SetPropW(indicator_.hwnd(), kFillColourProperty,
                 reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(state.indicator.colour)));
        InvalidateRect(indicator_.hwnd(), nullptr, FALSE);
    }
    const bool visible = blinking_ ? lit_ : state.indicator.lit;
    if (((GetWindowLongW(indicator_.hwnd(), GWL_STYLE) & WS_VISIBLE) != 0) != visible)
        ShowWindow(indicator_.hwnd(), visible ? SW_SHOWNA : SW_HIDE);
}

void MainWindow::syncLog() {
    // The log only ever grows at its end.
    const auto& entries = guard_->state().log;
    auto shown = static_cast<std::size_t>(SendMessageW(log_.get(), LB_GETCOUNT, 0, 0));
    for (; shown < entries.size(); ++shown)
        SendMessageW(log_.get(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(toWide(entries[shown]).c_str()));
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (events_ && guard_ && events_->handle(*guard_, message, wParam)) return 0;
    switch (message) {
        case WM_COMMAND: onCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
        case WM_TIMER:
            if (wParam == kBlinkTimerId) {
                lit_ = !lit_;
                // Each flip costs a trip through the system's window manager; a minimized or hidden
                // window (the guard left in the tray) has nobody to show it to.
                if (guard_ && IsWindowVisible(hwnd()) && !IsIconic(hwnd())) showIndicator();
            }
            return 0;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED && banner_.hwnd()) dockBanner(LOWORD(lParam));
            return 0;
        case kDpiChangedMessage:
            // Dragged to a monitor of another scale: laid out again there, where the system suggests.
            if (const auto change = densityChange(wParam, lParam)) moveToDensity(*change);
            return 0;
        case kGetDpiScaledSizeMessage:
            return answerScaledSize(hwnd(), layout(), dpi_, kStyle, kExStyle, wParam, lParam);
        case WM_CTLCOLORSTATIC:
            if (const auto brush = labelColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
                return *brush;
            break;
        case WM_CTLCOLORLISTBOX:
            if (reinterpret_cast<HWND>(lParam) == log_.get()) {
                SetBkColor(reinterpret_cast<HDC>(wParam), backColourOf(ControlId::Log));
                SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
                return reinterpret_cast<LRESULT>(logBrush_.get());
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
    if (!guard_) return;
    if (controlId == monitoringButtonId_ && notification == BN_CLICKED) {
        guard_->toggleMonitoring();
    } else if (controlId == blockingButtonId_ && notification == BN_CLICKED) {
        guard_->toggleBlocking();
    } else if (controlId == IDOK) {
        // Enter, as the dialog manager reports it: it presses the command button that has the focus.
        const HWND focus = GetFocus();
        if (focus == monitoringButton_.get() || focus == blockingButton_.get()) SendMessageW(focus, BM_CLICK, 0, 0);
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
            if (LOWORD(wParam) == pleaseReadId_ && HIWORD(wParam) == STN_CLICKED && guard_) guard_->showInformation();
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
            const BrushHandle fill(CreateSolidBrush(guard_ ? guard_->state().indicator.colour : kIndicatorGreen));
            FillRect(dc, &client, fill.get());
            // A pixel's border at 96 dpi, as thick again at twice the density.
            for (int line = 0; line < std::max(1, dpi_ / 96); ++line) {
                FrameRect(dc, &client, GetSysColorBrush(COLOR_WINDOWTEXT));
                InflateRect(&client, -1, -1);
            }
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
