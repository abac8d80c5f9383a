#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>

namespace shared {

// One budget of bytes a second for every transfer that reads through it: all
// parallel transfers of an installation, and all installations that share it.
// Transfers do not read their answers themselves; they say how many bytes wait
// for them, and the limiter hands the budget out in equal shares, round by
// round, as the clock lets it grow. Transfers held back fill their small read
// buffers, so the network itself slows the servers down. Lives on one thread.
class TBandwidthLimiter : public QObject
{
    Q_OBJECT

public:
    // 0 or less: no limit; transfers then read as they like.
    explicit TBandwidthLimiter(qint64 nBytesPerSecond, QObject* pParent = nullptr);

    qint64 rate() const { return m_nRate; }
    // Milliseconds of a steady clock.
    void setClock(std::function<qint64()> fnNow);

    // fnWaiting says how many bytes the transfer could read now, fnTake reads up
    // to that many and returns how many it read.
    int addTransfer(std::function<qint64()> fnWaiting, std::function<qint64(qint64)> fnTake);
    void removeTransfer(int nId);
    int transfers() const { return int(m_hTransfers.size()); }
    // The low-speed floor a transfer may be held to under this limit: at most a
    // quarter of its share, so that the limit alone never makes it "crawl".
    qint64 floorFor(qint64 nFloor) const;

    // A transfer has bytes waiting.
    void wake();
    // Bytes read past the limiter (the rest of a finished answer): the others wait for them.
    void charge(qint64 nBytes);
    // Hands out what the clock allows now and, while bytes still wait, sets the
    // timer for the next round.
    void pump();

private:
    struct TTransfer
    {
        std::function<qint64()> fnWaiting;
        std::function<qint64(qint64)> fnTake;
    };
    void refill();

    qint64 m_nRate;
    // Half a second's worth at most: rounds that come late lose nothing,
    // and an idle moment is no licence for a burst.
    double m_dCapacity;
    double m_dBudget;
    qint64 m_nLastRefill = 0;
    std::function<qint64()> m_fnNow;
    std::map<int, TTransfer> m_hTransfers;
    int m_nNextId = 0;
    // Whom a round starts with, so that rounding favours nobody.
    int m_nRound = 0;
    bool m_bPumping = false;
    QTimer m_oTimer;
};

} // namespace shared
