#pragma once
// What the dialog's tests share: the suite registry of the runner, a
// watcher that acts on a modal window once it is up, and (from the core's
// tests) the fake file chooser and the recording help viewer.

#include <QApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "tests/support/FakeFileChooser.h"
#include "tests/support/RecordingHelpViewer.h"

namespace solvane::test {

struct AppSuite {
    const char* name;
    std::function<std::unique_ptr<QObject>()> make;
};

std::vector<AppSuite>& AppSuites();

struct RegisterAppSuite {
    RegisterAppSuite(const char* name, std::function<std::unique_ptr<QObject>()> make);
};

// Polls the event loop for an active modal window of type T and hands it to
// action once. Gives up after timeoutMs; seen() tells whether one came.
template <class T>
class WhenModal {
public:
    explicit WhenModal(std::function<void(T*)> action, int timeoutMs = 5000)
        : action_(std::move(action)), timeoutMs_(timeoutMs) {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(10);
    }
    bool seen() const { return seen_; }

private:
    void Poll() {
        if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget()); window != nullptr) {
            timer_.stop();
            seen_ = true;
            action_(window);
        } else if (clock_.elapsed() > timeoutMs_) {
            timer_.stop();
        }
    }

    std::function<void(T*)> action_;
    int timeoutMs_;
    QElapsedTimer clock_;
    QTimer timer_;
    bool seen_ = false;
};

// The same for the open popup menu.
template <class T>
class WhenPopup {
public:
    explicit WhenPopup(std::function<void(T*)> action, int timeoutMs = 5000)
        : action_(std::move(action)), timeoutMs_(timeoutMs) {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(10);
    }
    bool seen() const { return seen_; }

private:
    void Poll() {
        if (auto* popup = qobject_cast<T*>(QApplication::activePopupWidget()); popup != nullptr && popup->isVisible()) {
            timer_.stop();
            seen_ = true;
            action_(popup);
        } else if (clock_.elapsed() > timeoutMs_) {
            timer_.stop();
        }
    }

    std::function<void(T*)> action_;
    int timeoutMs_;
    QElapsedTimer clock_;
    QTimer timer_;
    bool seen_ = false;
};

// A small format-0 piece: a program change and overlapping notes at the
// bottom of channel 0 (the inversion clamps both to key 0), a line on
// channel 1 and a drum hit.
std::vector<std::uint8_t> SamplePiece();

}  // namespace solvane::test

#define SOLVANE_APP_SUITE(Class) \
    static const solvane::test::RegisterAppSuite kRegister##Class(#Class, [] { return std::make_unique<Class>(); })
