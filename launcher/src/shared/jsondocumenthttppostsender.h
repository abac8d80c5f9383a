#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;

namespace shared {

// Posts JSON documents over HTTP with a network access manager of its own. Every
// post ends in exactly one finished() (in the order the replies finish), unless
// the sender is destroyed first, which abandons the posts still in flight.
class TJsonDocumentHttpPostSender : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TJsonDocumentHttpPostSender)

public:
    TJsonDocumentHttpPostSender();
    ~TJsonDocumentHttpPostSender() override;

    // Sends the document as one compact UTF-8 JSON body, Content-Type
    // "application/json" and Content-Disposition: form-data; name="metadata".
    virtual void post(const QUrl& oUrl, const QJsonDocument& oDocument);

public slots:
    void onFinished(QNetworkReply* pReply);

signals:
    // The reply's error (NoError on success), its error text and its whole body.
    void finished(QNetworkReply::NetworkError NetworkErrorCode, QString NetworkErrorString, QByteArray ReplyFromServer);

private:
    std::shared_ptr<QNetworkAccessManager> m_pNetworkAccessManager;
};

} // namespace shared
