#pragma once

#include "faultyhttpserver.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>

#include <functional>

class QTcpSocket;

// One connection of TFaultyHttpServer, living on the server's thread: it reads
// the requests arriving on its socket one after another and answers each from a
// file below the document root, with the fault the server picks for the path.
// Bodies are read from the file and written in pieces as the socket drains, so a
// file of any size costs a few hundred KiB. It deletes itself when the peer leaves.
class TFaultyHttpConnection : public QObject
{
    Q_OBJECT

public:
    // Records the request of a path and returns the fault its answer gets.
    using TTakeRequest = std::function<EHttpFault(const QString& sPath)>;

    TFaultyHttpConnection(QTcpSocket* pSocket, const QString& sDocumentRoot, TTakeRequest fnTakeRequest,
                          QObject* pParent);
    ~TFaultyHttpConnection() override;

private:
    // What happens to the connection once the body, as far as it goes, is queued.
    enum class EEnding { KeepAlive, Close, Reset, Stall };

    void onReadyRead();
    void onBytesWritten();
    // Answers every complete request in m_aInput while no answer is under way.
    void answerRequests();
    void answer(const QByteArray& aMethod, const QByteArray& aTarget, bool bKeepAlive);
    void sendHead(int nStatus, qint64 nContentLength, bool bKeepAlive);
    void sendText(int nStatus, const QByteArray& aText, bool bKeepAlive);
    // Queues body pieces while the socket's buffer is low, then ends the answer.
    void pump();
    void finishAnswer();
    // A reset drops whatever the kernel still holds to send: wait until it is out.
    void resetWhenSent();

    QTcpSocket* m_pSocket;
    QString m_sDocumentRoot;
    TTakeRequest m_fnTakeRequest;
    QByteArray m_aInput;
    bool m_bAnswering = false;
    EEnding m_eEnding = EEnding::KeepAlive;

    QFile m_oFile;
    // Bytes of the file still to send, and how far the file has been sent.
    qint64 m_nFileLeft = 0;
    qint64 m_nFileOffset = 0;
    // Body offsets [begin, end) that go out inverted.
    qint64 m_nFlipBegin = 0;
    qint64 m_nFlipEnd = 0;
    qint64 m_nGarbageLeft = 0;
};
