#include "AppTestSupport.h"

#include "app/SyncApp.h"

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

namespace
{

// Without a socket library only the message shows, captioned with the executable's name, with
// an OK button only; no window is made.
TEST(SyncApp, SocketFailureShowsOnlyTheMessage)
{
    CSyncApp app([]() -> std::unique_ptr<QDialog> { throw std::logic_error("no window wanted"); });
    app.SetSocketStarter([] { return false; });
    QStringList shown;
    app.SetMessageBox(
        [&](const QString& caption, const QString& text) { shown << caption << text; });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(shown, QStringList({"app_tests", "Windows sockets initialization failed."}));

    const auto box = CSyncApp::CreateMessageBox("horalink", "text");
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
}

// The window runs modally and is gone once InitInstance returns.
TEST(SyncApp, RunsTheWindowModallyAndEndsWhenItCloses)
{
    QPointer<QDialog> window;
    bool wasModal = false;
    CSyncApp app([&] {
        auto dialog = std::make_unique<QDialog>();
        window = dialog.get();
        return dialog;
    });
    app.SetSocketStarter([] { return true; });
    QTimer::singleShot(0, [&] {
        wasModal = window != nullptr && window->isVisible() && window->isModal();
        window->reject();
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(wasModal);
    EXPECT_TRUE(window.isNull());
}

} // namespace
