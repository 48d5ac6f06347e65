#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTextBlockFormat>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>

class QAccessibleEvent;
class QTextEdit;

// Types lines into the log pane one character per pace, from a timer on the window's thread,
// so the window keeps handling its events while a line is typed. Lines are typed whole and in
// the order they were appended, never mixed with one another. Screen readers hear each line
// once, when it is whole. Lines are shown in the user's language (LogText).
class LogWriter : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void()>;

    static constexpr std::chrono::milliseconds kPace{30};

    LogWriter(QTextEdit* pane, QObject* parent);

    void SetPace(std::chrono::milliseconds pace);
    // The format every line of the pane takes (its pitch and indent), from now on and after
    // every clearing.
    void SetLineFormat(const QTextBlockFormat& format);
    // Where the pane's changes are told to assistive technology; QAccessible's own until set.
    using Announcer = std::function<void(QAccessibleEvent*)>;
    void SetAnnouncer(Announcer announcer) { m_announce = std::move(announcer); }
    std::chrono::milliseconds Pace() const { return m_timer.intervalAsDuration(); }

    // Queues a line. done, when given, runs on this thread once the line and its line break are
    // in the pane; a line with a done is a waiting writer's and survives clearing.
    void Append(const QString& line, Done done = {});
    // Empties the pane. Lines nobody waits for belonged to the text just cleared and are
    // dropped; a waited-for line already begun is typed again from its start, so the pane never
    // shows part of a line and no writer is left waiting. The lines given are typed first, ahead
    // of the waited-for ones, so a command's own line leads the text that follows it.
    void Clear(const QStringList& first = {});
    // Replaces the pane's whole text at once (after clearing as above).
    void SetText(const QString& text);

    // Nothing left to type.
    bool IsIdle() const { return m_lines.empty(); }

private:
    struct Line {
        QString text;
        Done done;
    };

    void TypeNext();
    void Pump();
    void FinishLine();
    void InsertAtEnd(const QString& text);

    QTextEdit* m_pane;
    QTextBlockFormat m_lineFormat;
    Announcer m_announce;
    QTimer m_timer;
    std::deque<Line> m_lines;
    qsizetype m_typed = 0; // characters of the front line already in the pane
};
