#include "app/window/SyncApp.h"

#include "platform/SocketLibrary.h"
#include "res/ResourceLoader.h"
#include "res/resource.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QMessageBox>

CSyncApp::CSyncApp(WindowFactory createWindow)
    : m_createWindow(std::move(createWindow)),
      m_showMessage([](const QString& caption, const QString& text) {
          CreateMessageBox(caption, text)->exec();
      })
{
}

bool CSyncApp::InitInstance()
{
    if (!AfxSocketInit()) {
        m_showMessage(AppName(), ResourceLoader::LoadString(IDS_SOCKETS_INIT_FAILED));
        return false;
    }
    // The window lives until this returns; whoever holds a pointer to it relies on that.
    const std::unique_ptr<QDialog> window = m_createWindow();
    window->exec();
    return false;
}

QString CSyncApp::AppName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

std::unique_ptr<QMessageBox> CSyncApp::CreateMessageBox(const QString& caption, const QString& text)
{
    return std::make_unique<QMessageBox>(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
}
