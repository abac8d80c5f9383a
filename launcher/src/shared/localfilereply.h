#pragma once

#include <QFile>
#include <QNetworkReply>

namespace shared {

// The answer for a file: URL, read the way the engine reads files it does not
// hold: never through a link as the last component, and only when what was
// opened is a regular file. The network layer's own file reading would open a
// named pipe or a device swapped in after the documents were checked, and wait
// on it for ever; here such a file fails the request at once.
class TLocalFileReply : public QNetworkReply
{
    Q_OBJECT

public:
    TLocalFileReply(const QNetworkRequest& oRequest, QObject* pParent);
    ~TLocalFileReply() override;

    void abort() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* pData, qint64 nMaximum) override;

private:
    // The outcome, told once the caller could connect to the signals.
    void announce();

    QFile m_oFile;
};

} // namespace shared
