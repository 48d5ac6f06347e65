#include "app/SyncApp.h"
#include "tests/app/QStringPrinter.h"

#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

namespace
{

TEST(SyncApp, SocketFailureShowsOnlyTheMessageCaptionedWithTheExecutable)
{
    int windows = 0;
    CSyncApp app([&] {
        ++windows;
        return std::make_unique<QDialog>();
    });
    app.SetSocketStarter([] { return false; });
    QStringList shown;
    app.SetMessageBox(
        [&](const QString& caption, const QString& text) { shown << caption << text; });

    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(windows, 0);
    EXPECT_EQ(shown, QStringList({"app_tests", "Windows sockets initialization failed."}));
}

TEST(SyncApp, TheMessageBoxHasAnOkButtonOnly)
{
    const auto box = CSyncApp::CreateMessageBox("horalink", "text");
    EXPECT_EQ(box->windowTitle(), "horalink");
    EXPECT_EQ(box->text(), "text");
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
}

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
    bool messageShown = false;
    app.SetMessageBox([&](const QString&, const QString&) { messageShown = true; });
    QTimer::singleShot(0, [&] {
        wasModal = window != nullptr && window->isVisible() && window->isModal();
        window->reject();
    });

    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(wasModal);
    EXPECT_TRUE(window.isNull()); // destroyed on the way out
    EXPECT_FALSE(messageShown);
}

} // namespace
