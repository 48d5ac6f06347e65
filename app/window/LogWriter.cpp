#include "app/window/LogWriter.h"

#include "app/window/LogText.h"

#include <QAccessible>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

LogWriter::LogWriter(QTextEdit* pane, QObject* parent)
    : QObject(parent), m_pane(pane), m_announce(&QAccessible::updateAccessibility)
{
    m_timer.setInterval(kPace);
    connect(&m_timer, &QTimer::timeout, this, &LogWriter::TypeNext);
    // The pane's text control would tell screen readers of every character as it is typed;
    // the writer tells them of each line once it is whole instead.
    for (QObject* control : m_pane->findChildren<QObject*>()) {
        if (control->inherits("QWidgetTextControl")) {
            disconnect(m_pane->document(), &QTextDocument::contentsChange, control, nullptr);
        }
    }
}

void LogWriter::SetPace(std::chrono::milliseconds pace)
{
    m_timer.setInterval(pace);
}

void LogWriter::SetLineFormat(const QTextBlockFormat& format)
{
    m_lineFormat = format;
    QTextCursor all(m_pane->document());
    all.select(QTextCursor::Document);
    all.setBlockFormat(m_lineFormat);
}

void LogWriter::Append(const QString& line, Done done)
{
    m_lines.push_back({LogText::Translate(line), std::move(done)});
    Pump();
}

void LogWriter::Clear(const QStringList& first)
{
    const QString removed = m_pane->toPlainText();
    m_pane->clear();
    if (!removed.isEmpty()) {
        QAccessibleTextRemoveEvent event(m_pane, 0, removed);
        m_announce(&event);
    }
    std::erase_if(m_lines, [](const Line& line) { return !line.done; });
    m_typed = 0;
    for (auto line = first.crbegin(); line != first.crend(); ++line) {
        m_lines.push_front({LogText::Translate(*line), {}});
    }
    Pump();
}

void LogWriter::SetText(const QString& text)
{
    Clear();
    // The pane keeps its own paragraph breaks; a carriage return would show as a stray glyph.
    QString plain = LogText::Translate(text);
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    InsertAtEnd(plain);
    QAccessibleTextInsertEvent event(m_pane, 0, plain);
    m_announce(&event);
}

void LogWriter::TypeNext()
{
    if (m_lines.empty()) {
        m_timer.stop();
        return;
    }
    const QString& text = m_lines.front().text;
    // A character outside the basic plane is two code units; type them together.
    const qsizetype width = text.at(m_typed).isHighSurrogate() && m_typed + 1 < text.size() ? 2 : 1;
    InsertAtEnd(text.mid(m_typed, width));
    m_typed += width;
    Pump();
}

// Finishes every line that has nothing left to type, then runs the timer while there is more.
void LogWriter::Pump()
{
    while (!m_lines.empty() && m_typed >= m_lines.front().text.size()) {
        FinishLine();
    }
    if (m_lines.empty()) {
        m_timer.stop();
    } else if (!m_timer.isActive()) {
        m_timer.start();
    }
}

void LogWriter::FinishLine()
{
    const int start = m_pane->document()->lastBlock().position();
    InsertAtEnd(QStringLiteral("\n"));
    QAccessibleTextInsertEvent event(m_pane, start, m_lines.front().text);
    m_announce(&event);
    m_pane->viewport()->update();
    Done done = std::move(m_lines.front().done);
    m_lines.pop_front();
    m_typed = 0;
    if (done) {
        done();
    }
}

void LogWriter::InsertAtEnd(const QString& text)
{
    QTextCursor cursor(m_pane->document());
    cursor.movePosition(QTextCursor::End);
    // A cleared pane starts with a block of the default format; new lines take their
    // predecessor's.
    if (cursor.blockFormat() != m_lineFormat) {
        cursor.setBlockFormat(m_lineFormat);
    }
    cursor.insertText(text);
    m_pane->setTextCursor(cursor); // which scrolls to it
}
