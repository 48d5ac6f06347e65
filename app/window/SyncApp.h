#pragma once

#include <QString>

#include <functional>
#include <memory>

class QDialog;
class QMessageBox;

// The application: starts the socket library, then runs the main window modally. The program's
// whole life is that window's; InitInstance returns false in every case, and the process ends.
class CSyncApp
{
public:
    using WindowFactory = std::function<std::unique_ptr<QDialog>()>;
    using MessageBoxShower = std::function<void(const QString& caption, const QString& text)>;

    // createWindow makes the main window when the socket library has started.
    explicit CSyncApp(WindowFactory createWindow);

    void SetMessageBox(MessageBoxShower show) { m_showMessage = std::move(show); }

    bool InitInstance();

    // The executable's file name without its extension: the caption of the start-up message.
    static QString AppName();
    // The start-up failure's box: the text, an OK button only, no icon.
    static std::unique_ptr<QMessageBox> CreateMessageBox(const QString& caption,
                                                         const QString& text);

private:
    WindowFactory m_createWindow;
    MessageBoxShower m_showMessage;
};
