#include "vqsimsession.h"

static const int kMaxPending = 10000;

CvqSimSession::CvqSimSession(Runner run, Sink sink, const QString& origin, QObject* parent)
    : QObject(parent), mRun(std::move(run)), mSink(std::move(sink)), mOrigin(origin)
{
    // A held session looks every 20 ms whether its time is up or its condition holds.
    connect(&mTmr, &QTimer::timeout, this, &CvqSimSession::onTick);
}

void CvqSimSession::onTick()
{
    const bool met = mCond && mCond() == 1;
    if (!met && !mDeadline.hasExpired())
        return;
    mTmr.stop();
    report(QStringLiteral("(held)"), met || !mCond ? "ok" : "err timeout");
    mCond = nullptr;
    mBusy = false;
    process();
}

void CvqSimSession::vqFeed(const QStringList& lines)
{
    // A session held by sleep or wait queues what comes meanwhile, within reason.
    if (mPending.size() + lines.size() > kMaxPending)
        return mSink(QStringLiteral("err too many lines waiting"));
    mPending += lines;
    process();
}

// A scenario reports what fails, not each "ok".
void CvqSimSession::report(const QString& line, const QString& reply)
{
    if (mOrigin.isEmpty())
        mSink(reply);
    else if (reply.startsWith(QLatin1String("err ")))
        mSink(mOrigin + ": " + line + ": " + reply);
}

void CvqSimSession::process()
{
    while (!mBusy && !mPending.isEmpty()) {
        const QString line = mPending.takeFirst();
        QStringList out;
        const QString reply = mRun(this, line, &out);
        for (const QString& o : qAsConst(out))
            mSink(o);
        mBusy = reply.isNull();
        if (!reply.isEmpty())
            report(line, reply);
    }
    if (!mBusy && drained)
        std::exchange(drained, nullptr)();
}

void CvqSimSession::vqHold(int ms, std::function<int()> cond)
{
    mCond = std::move(cond);
    mDeadline.setRemainingTime(qBound(1, ms, kMaxHoldMs));
    mTmr.start(20);
}
