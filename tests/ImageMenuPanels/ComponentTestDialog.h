// What the image, menu and panel tests share: a dark test dialog whose items hold drawn
// components, which it draws and hands the presses on, a record of what the components told their
// owner, a hand that clicks and drags through the desktop's input from a second thread, and one
// that types into a menu while the test's thread tracks it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "ControlDrawing.h"
#include "ControlTestSupport.h"
#include "DesktopInput.h"
#include "DialogComponent.h"
#include "GdiOwner.h"
#include "MenuHand.h"
#include "MorvaneDialog.h"

// ---- What the components told their owner

struct ComponentEvent {
    const DialogComponent* component;
    int16_t code;
    intptr_t argument;
};

inline bool operator==(const ComponentEvent& a, const ComponentEvent& b) {
    return a.component == b.component && a.code == b.code && a.argument == b.argument;
}

inline std::ostream& operator<<(std::ostream& out, const ComponentEvent& e) {
    return out << "{item " << (e.component ? e.component->Item() : 0) << ", code 0x" << std::hex << e.code << std::dec
               << ", argument " << e.argument << "}";
}

// The callbacks are plain functions: the record lives here, one test at a time.
struct EventLog {
    std::vector<ComponentEvent> events;
    bool answer = true;   // what the owner answers
};

inline EventLog& Events() {
    static EventLog log;
    return log;
}

inline bool RecordEvent(DialogComponent& component, int16_t code, intptr_t argument) {
    Events().events.push_back({&component, code, argument});
    return Events().answer;
}

// ---- The dialog

class ComponentTestDialog : public MorvaneDialog {
public:
    explicit ComponentTestDialog(int16_t templateId) : MorvaneDialog(templateId, DialogKind::Modal) {
        Events() = EventLog{};
    }
    ~ComponentTestDialog() override { components_.clear(); }

    // Runs once the items exist and the port has the dark colours: where the components are made.
    std::function<void(ComponentTestDialog&)> onInit;
    // Runs at the first idle tick, with the dialog on screen.
    std::function<void(ComponentTestDialog&)> onFirstIdle;
    // What each press on a component's item answered.
    std::vector<bool> trackAnswers;

    template <typename T, typename... Args>
    T& Add(int16_t item, Args&&... args) {
        auto component = std::make_unique<T>(*this, item, std::forward<Args>(args)...);
        T& made = *component;
        components_[item] = std::move(component);
        return made;
    }
    // For a component whose constructor takes its item elsewhere.
    template <typename T>
    T& Keep(std::unique_ptr<T> component) {
        T& made = *component;
        components_[made.Item()] = std::move(component);
        return made;
    }
    void Remove(int16_t item) { components_.erase(item); }
    template <typename T>
    T& Get(int16_t item) {
        return dynamic_cast<T&>(*components_.at(item));
    }

    void InitDialog() override {
        MorvaneDialog::InitDialog();
        DrawingPort& port = Port();
        port.backColor = ControlLook::kBackground;
        port.foreColor = ControlLook::kBackground;
        UpdatePenAndBrushes(port);
        if (onInit) onInit(*this);
    }
    void DrawItem(int16_t item) override {
        const auto found = components_.find(item);
        if (found != components_.end()) found->second->Draw();
    }
    int16_t ItemHit(int16_t item) override {
        const auto found = components_.find(item);
        if (found == components_.end()) return MorvaneDialog::ItemHit(item);
        trackAnswers.push_back(found->second->Track(ClientCursor()));
        return 0;
    }
    void Idle() override {
        if (onFirstIdle) {
            auto once = std::move(onFirstIdle);
            onFirstIdle = nullptr;
            once(*this);
        }
    }

    Point16 ClientCursor() const {
        POINT cursor{};
        GetCursorPos(&cursor);
        ScreenToClient(Window(), &cursor);
        return Point16{static_cast<int16_t>(cursor.y), static_cast<int16_t>(cursor.x)};
    }
    // A dialog point on the screen.
    POINT ScreenPoint(int x, int y) const {
        POINT p{x, y};
        ClientToScreen(Window(), &p);
        return p;
    }
    // Puts the pointer on a dialog point, as a press that ends at once finds it.
    void PointAt(int x, int y) const {
        const POINT p = ScreenPoint(x, y);
        SetCursorPos(p.x, p.y);
    }
    // The dialog as the screen shows it, once every paint has reached the screen.
    ClientPicture Picture() const { return OnScreen(Window()); }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, int16_t& item) override {
        switch (message) {
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORBTN:
                SetTextColor(reinterpret_cast<HDC>(wParam), ControlLook::kText);
                SetBkColor(reinterpret_cast<HDC>(wParam), ControlLook::kBackground);
                return reinterpret_cast<LRESULT>(background_.Get());
            default:
                return MorvaneDialog::HandleMessage(message, wParam, lParam, item);
        }
    }

private:
    std::map<int16_t, std::unique_ptr<DialogComponent>> components_;
    OwnedBrush background_{CreateSolidBrush(ControlLook::kBackground)};
};

inline POINT CentreOf(const Rect16& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
inline RECT ToRECTOf(const Rect16& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// ---- The hand on the mouse

// One move of the hand: the pointer goes to a dialog point with the button flags, then the hand
// waits; `then` runs on the hand's thread after the wait (a look at the screen while the button
// is still down).
struct Gesture {
    POINT at;
    DWORD buttons = 0;
    int pauseMilliseconds = 60;
    std::function<void()> then;
};

// Plays the gestures on the dialog from a second thread while this one runs the messages (the
// components' tracking loops among them); then lets the messages they caused run out.
inline void Play(const ComponentTestDialog& dialog, const std::vector<Gesture>& gestures) {
    std::vector<POINT> onScreen;
    for (const Gesture& g : gestures) onScreen.push_back(dialog.ScreenPoint(g.at.x, g.at.y));
    SetForegroundWindow(dialog.Window());
    std::atomic<bool> done{false};
    std::thread hand([&] {
        for (size_t i = 0; i < gestures.size(); ++i) {
            SendPointerAt(onScreen[i], gestures[i].buttons);
            Sleep(gestures[i].pauseMilliseconds);
            if (gestures[i].then) gestures[i].then();
        }
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        PumpPending();
        Sleep(5);
    }
    hand.join();
    for (int n = 0; n < 10; ++n) {
        PumpPending();
        Sleep(10);
    }
}

// One pixel of the screen at a dialog point.
inline COLORREF ScreenPixelAt(const ComponentTestDialog& dialog, int x, int y) {
    const POINT p = dialog.ScreenPoint(x, y);
    const WindowDC screen(nullptr);
    return GetPixel(screen.Get(), p.x, p.y);
}

