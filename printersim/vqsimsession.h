#pragma once
// One source of control lines (a control port connection, a played scenario).
// Runs its lines in order through a runner; sleep and wait hold only this session.

#include <QDeadlineTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

class CvqSimSession : public QObject
{
public:
    static constexpr int kMaxHoldMs = 24 * 3600 * 1000;
    static constexpr int kMaxLine = 4096;
    using Sink = std::function<void(const QString&)>;
    // One line's reply ("ok…", "err …"; null: the session holds and replies later); data lines go to out.
    using Runner = std::function<QString(CvqSimSession*, const QString& line, QStringList* out)>;
    // A scenario's session (origin: its file) reports only what fails.
    CvqSimSession(Runner run, Sink sink, const QString& origin = QString(), QObject* parent = nullptr);

    void vqFeed(const QStringList& lines);
    // Holds the session for up to ms, or until cond gives 1.
    void vqHold(int ms, std::function<int()> cond = nullptr);
    QString current = QStringLiteral("p1");
    std::function<void()> drained;  // called once, when no line waits any more

private:
    void process();
    void report(const QString& line, const QString& reply);
    void onTick();

    Runner mRun;
    Sink mSink;
    QString mOrigin;
    QStringList mPending;
    bool mBusy = false;
    QTimer mTmr;
    QDeadlineTimer mDeadline;
    std::function<int()> mCond;  // for wait: 1 holds, 0 not yet
};
